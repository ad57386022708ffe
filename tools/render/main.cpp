// render --maps DIR [--at LAT,LON] [--route FROM_LAT,FROM_LON:TO_LAT,TO_LON]
//        [--zoom STEP] [--size WxH] [--3d] [--night] [--heading DEG] [--theme FILE]
//        [--frames N] [--json] --out FILE.png
// Draws the map at a point headless, as the navigation program's map screen does,
// writes the frame as PNG and a line of figures. Exit 2 bad arguments, 1 failure.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>

#include "tools/command_line.h"
#include "tools/render/render.h"

namespace {

const char kUsage[] =
    "usage: render --maps DIR [--at LAT,LON] [--route FROM_LAT,FROM_LON:TO_LAT,TO_LON]\n"
    "              [--zoom STEP] [--size WxH] [--3d] [--night] [--heading DEG]\n"
    "              [--theme FILE] [--frames N] [--json] --out FILE.png\n"
    "  --maps     a folder of device map files (mapdata1.biz, mapdata2.biz, ...)\n"
    "  --at       the vehicle's position, degrees (south and west negative);\n"
    "             default the route's start\n"
    "  --zoom     zoom step 0 to 8 (default 2)\n"
    "  --size     the screen in pixels (default 480x640; scale 2 when a side is 480 or more)\n"
    "  --3d       the 3D view (mode 2)\n"
    "  --night    the night colours\n"
    "  --heading  the vehicle's heading in degrees, drawn heading-up (default 0)\n"
    "  --theme    a theme.ini to read over the built-in theme\n"
    "  --frames   frames to draw, each as after a move (default 1)\n"
    "  --route    a route between the points nearest roads, drawn with the map\n"
    "  --json     the figures as one JSON object\n"
    "  --out      the PNG to write\n";

}  // namespace

int main(int argc, char** argv) {
    tools::CommandLine command("render", kUsage);
    CLI::App& app = command.app;
    bool json = false;
    std::string maps, at, size, theme, out, route;
    render::Options options;
    app.add_option("--maps", maps);
    app.add_option("--at", at);
    app.add_option("--zoom", options.zoom);
    app.add_option("--size", size);
    app.add_flag("--3d", options.view3D);
    app.add_flag("--night", options.night);
    app.add_option("--heading", options.heading);
    app.add_option("--theme", theme);
    app.add_option("--frames", options.frames);
    app.add_option("--route", route);
    app.add_flag("--json", json);
    app.add_option("--out", out);
    if (const std::optional<int> status = command.Parse(argc, argv, "unknown argument "))
        return *status;
    try {
        render::ParsePlaces(at, route, &options);
        if (!size.empty())
            render::ParseSize(size, &options.width, &options.height);
        options.maps = maps;
        options.theme = theme;
        options.out = out;
        const render::Figures figures = render::Render(options);
        if (json)
            render::PrintJson(figures, options, std::cout);
        else
            render::PrintText(figures, options, std::cout);
        if (!figures.ok)
            std::fprintf(stderr, "render: %s\n", figures.error.c_str());
        // The run's own root is gone and the PNG renamed into place by now: the maps'
        // caches and the heap are the system's to take back, not taken apart block by
        // block first.
        std::cout.flush();
        std::fflush(nullptr);
        std::_Exit(figures.ok ? 0 : 1);
    } catch (const render::OptionError& error) {
        return command.Fail(error.what());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "render: %s\n", error.what());
        return 1;
    }
}
