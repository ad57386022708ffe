// gpslog --raw LOG [--csv|--json] [--realtime]
// gpslog --port PORT [--baud N] [--seconds S] [--csv|--json]
// Runs an NMEA capture or a live GPS port through the receiver and prints each
// delivered fix; the figures line goes to stderr.
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>

#include "tools/command_line.h"
#include "tools/gpslog/gpslog.h"

namespace {

const char kUsage[] =
    "usage: gpslog --raw LOG [--csv|--json] [--realtime]\n"
    "       gpslog --port PORT [--baud N] [--seconds S] [--csv|--json]\n"
    "  --raw       a plain NMEA capture, run as fast as it reads\n"
    "  --realtime  one fix per \"PlaybackDelay\" (default 500 ms)\n"
    "  --port      \"COMn:\", a tty path or gpsd://HOST:PORT (the last two for this run only)\n"
    "  --baud      line speed of the port (default 4800)\n"
    "  --seconds   stop after S seconds (default: when the port hangs up)\n"
    "  --csv       one line per fix under a header (the default)\n"
    "  --json      one JSON object per fix and line\n";

}  // namespace

int main(int argc, char** argv) {
    tools::CommandLine command("gpslog", kUsage);
    CLI::App& app = command.app;
    bool csv = false, json = false, realtime = false;
    std::string raw, port;
    uint32_t baud = 4800;
    double seconds = 0;
    app.add_flag("--csv", csv);
    app.add_flag("--json", json);
    app.add_flag("--realtime", realtime);
    CLI::Option* rawOption = app.add_option("--raw", raw);
    CLI::Option* portOption = app.add_option("--port", port);
    CLI::Option* baudOption = app.add_option("--baud", baud)->check(CLI::Range(1u, 4000000u));
    CLI::Option* secondsOption =
        app.add_option("--seconds", seconds)->check(CLI::NonNegativeNumber);
    if (const std::optional<int> status = command.Parse(argc, argv, "unexpected argument "))
        return *status;
    if (csv && json)
        return command.Fail("--csv and --json exclude each other");
    if (!*rawOption == !*portOption)
        return command.Fail("give either --raw LOG or --port PORT");
    if (*rawOption && (*baudOption || *secondsOption))
        return command.Fail("--baud and --seconds go with --port");
    if (*portOption && realtime)
        return command.Fail("--realtime goes with --raw");
    const gpslog::Format format = json ? gpslog::Format::Json : gpslog::Format::Csv;
    std::ios::sync_with_stdio(false);
    if (*rawOption) {
        gpslog::RawOptions options;
        options.logPath = raw;
        options.format = format;
        options.realtime = realtime;
        return gpslog::RunRaw(options, std::cout, std::cerr);
    }
    gpslog::PortOptions options;
    options.port = port;
    options.baud = baud;
    options.seconds = seconds;
    options.format = format;
    return gpslog::RunPort(options, std::cout, std::cerr);
}
