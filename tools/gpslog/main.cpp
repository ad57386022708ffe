// gpslog [--raw] LOG [--maps DIR] [--csv|--json] [--realtime]
// gpslog --port PORT [--baud N] [--seconds S] [--csv|--json]
// Plays a GPS log or a plain NMEA capture, or reads a live GPS port, through the
// receiver and prints each delivered fix, matched onto the roads of device map files
// with --maps; the figures line goes to stderr.
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>

#include "tools/command_line.h"
#include "tools/gpslog/gpslog.h"

namespace {

const char kUsage[] =
    "usage: gpslog [--raw] LOG [--maps DIR] [--csv|--json] [--realtime]\n"
    "       gpslog --port PORT [--baud N] [--seconds S] [--csv|--json]\n"
    "  LOG         a GPS log (\"*.gps\"), played back as the program plays it\n"
    "  --raw       LOG is a plain NMEA capture, run as fast as it reads\n"
    "  --maps      match each fix onto the roads of the device map files in DIR\n"
    "  --realtime  one fix per \"PlaybackDelay\" (default 500 ms)\n"
    "  --port      \"COMn:\", a tty path or gpsd://HOST:PORT (the last two for this run only)\n"
    "  --baud      line speed of the port (default 4800)\n"
    "  --seconds   stop after S seconds (default: when the port hangs up)\n"
    "  --csv       one line per fix under a header (the default)\n"
    "  --json      one JSON object per fix and line\n"
    "Exit status 1 when LOG holds no NMEA sentence (a GPX track is named as one), when\n"
    "the port does not open (with the reason) or when the maps cannot be read.\n";

}  // namespace

int main(int argc, char** argv) {
    tools::CommandLine command("gpslog", kUsage);
    CLI::App& app = command.app;
    bool csv = false, json = false, realtime = false, raw = false;
    std::string log, port, maps;
    uint32_t baud = 4800;
    double seconds = 0;
    app.add_flag("--csv", csv);
    app.add_flag("--json", json);
    app.add_flag("--realtime", realtime);
    app.add_flag("--raw", raw);
    CLI::Option* logOption = app.add_option("log", log);
    CLI::Option* mapsOption = app.add_option("--maps", maps);
    CLI::Option* portOption = app.add_option("--port", port);
    CLI::Option* baudOption = app.add_option("--baud", baud)->check(CLI::Range(1u, 4000000u));
    CLI::Option* secondsOption =
        app.add_option("--seconds", seconds)->check(CLI::NonNegativeNumber);
    if (const std::optional<int> status = command.Parse(argc, argv, "unexpected argument "))
        return *status;
    if (csv && json)
        return command.Fail("--csv and --json exclude each other");
    if (!*logOption == !*portOption)
        return command.Fail("give either LOG or --port PORT");
    if (*logOption && (*baudOption || *secondsOption))
        return command.Fail("--baud and --seconds go with --port");
    if (*portOption && (realtime || raw || *mapsOption))
        return command.Fail("--raw, --maps and --realtime go with LOG");
    const gpslog::Format format = json ? gpslog::Format::Json : gpslog::Format::Csv;
    std::ios::sync_with_stdio(false);
    if (*logOption) {
        gpslog::LogOptions options;
        options.logPath = log;
        options.maps = maps;
        options.format = format;
        options.realtime = realtime;
        return raw ? gpslog::RunRaw(options, std::cout, std::cerr)
                   : gpslog::RunLog(options, std::cout, std::cerr);
    }
    gpslog::PortOptions options;
    options.port = port;
    options.baud = baud;
    options.seconds = seconds;
    options.format = format;
    return gpslog::RunPort(options, std::cout, std::cerr);
}
