#include "tools/gpslog/gpslog.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <vector>

#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/position/fix_delivery.h"
#include "pathlume/position/nmea_receiver.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/registry.h"
#include "platform/kernel/serial.h"
#include "platform/kernel/text.h"
#include "platform/user/user.h"

namespace gpslog {
namespace {

using Clock = std::chrono::steady_clock;

std::string TimeText(const GpsFix& fix) {
    char text[32];
    if (fix.month != 0)
        std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", 2000 + fix.year,
                      fix.month, fix.day, fix.hour, fix.minute, fix.second);
    else
        std::snprintf(text, sizeof text, "%02d:%02d:%02d", fix.hour, fix.minute, fix.second);
    return text;
}

double SpeedKmh(const GpsFix& fix) {
    return fix.speedMph > 1.0f ? fix.speedMph * kMphToKmh : 0.0;
}

double Seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void PrintFigures(const Figures& figures, std::ostream& err) {
    err << FiguresLine(figures) << '\n';
}

}  // namespace

std::string FormatFix(const GpsFix& fix, const QueuedPosition& position, int fixQuality,
                      Format format) {
    if (format == Format::Json) {
        nlohmann::ordered_json row;
        row["time"] = TimeText(fix);
        row["lat"] = position.latitude;
        row["lon"] = position.longitude;
        row["speed_kmh"] = std::round(SpeedKmh(fix) * 100) / 100;
        row["heading"] = position.headingDegrees;
        row["fix"] = fixQuality;
        row["sats"] = fix.satellitesUsed;
        row["hdop"] = fix.hdop;
        row["matched_lat"] = nullptr;
        row["matched_lon"] = nullptr;
        row["link"] = nullptr;
        row["street"] = nullptr;
        return row.dump();
    }
    char line[160];
    std::snprintf(line, sizeof line, "%s,%.6f,%.6f,%.2f,%.1f,%d,%d,%.1f,,,,", TimeText(fix).c_str(),
                  position.latitude, position.longitude, SpeedKmh(fix), position.headingDegrees,
                  fixQuality, fix.satellitesUsed, fix.hdop);
    return line;
}

std::string FiguresLine(const Figures& figures) {
    const double mb = static_cast<double>(figures.bytes) / 1e6;
    char line[200];
    std::snprintf(line, sizeof line,
                  "gpslog: %llu sentences, %llu checksum failures, %llu fixes, %.2f s, %.1f MB/s",
                  static_cast<unsigned long long>(figures.sentences),
                  static_cast<unsigned long long>(figures.checksumFailures),
                  static_cast<unsigned long long>(figures.fixes), figures.seconds,
                  figures.seconds > 0 ? mb / figures.seconds : 0.0);
    return line;
}

namespace {

// Takes every queued position out and prints it with the receiver's fix.
class FixPrinter {
  public:
    FixPrinter(CNmeaReceiver& receiver, Format format, std::ostream& out)
        : receiver_(receiver), format_(format), out_(out) {
        if (format_ == Format::Csv)
            out_ << kCsvHeader << '\n';
    }
    // Returns how many fixes were printed.
    int Drain(PositionQueue& queue) {
        int printed = 0;
        QueuedPosition position;
        while (queue.Pop(&position) == 0) {
            const GpsFix fix = receiver_.GetFix();
            out_ << FormatFix(fix, position, receiver_.GetFixQuality(), format_) << '\n';
            ++printed;
        }
        fixes_ += static_cast<uint64_t>(printed);
        return printed;
    }
    uint64_t Fixes() const { return fixes_; }

  private:
    CNmeaReceiver& receiver_;
    Format format_;
    std::ostream& out_;
    uint64_t fixes_ = 0;
};

Figures FiguresOf(const CNmeaReceiver& receiver, const FixPrinter& printer, uint64_t bytes,
                  Clock::time_point start) {
    const NmeaCounters counters = receiver.Counters();
    Figures figures;
    figures.sentences = counters.sentences;
    figures.checksumFailures = counters.checksumFailures;
    figures.fixes = printer.Fixes();
    figures.bytes = bytes;
    figures.seconds = Seconds(start);
    return figures;
}

}  // namespace

int RunRaw(const RawOptions& options, std::ostream& out, std::ostream& err) {
    std::ifstream in(options.logPath, std::ios::binary);
    if (!in) {
        err << "gpslog: cannot read " << options.logPath << '\n';
        return 1;
    }
    const Clock::time_point start = Clock::now();
    g_positionQueue.Clear();
    CNmeaReceiver receiver;
    receiver.ReadSettings();  // as any source does when it opens
    FixPrinter printer(receiver, options.format, out);
    const DWORD delay =
        options.realtime ? RegGetDword(HKEY_CURRENT_USER, kSettingsKey, u"PlaybackDelay", 500) : 0;
    std::vector<char> chunk(1 << 16);
    uint64_t bytes = 0;
    while (in) {
        in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        const size_t got = static_cast<size_t>(in.gcount());
        if (got == 0)
            break;
        bytes += got;
        receiver.FrameBytes(chunk.data(), got, [&] {
            if (printer.Drain(g_positionQueue) > 0 && delay > 0)
                Sleep(delay);
        });
    }
    if (in.bad()) {
        err << "gpslog: error reading " << options.logPath << '\n';
        return 1;
    }
    out.flush();
    PrintFigures(FiguresOf(receiver, printer, bytes, start), err);
    return 0;
}

namespace {

// The main view's part for a live port: WM_USER 0 takes the queue.
struct PortView {
    FixPrinter* printer = nullptr;
};
PortView g_portView;

LRESULT CALLBACK PortViewProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_USER && wParam == kNewFixMessage) {
        HandleNewFixMessage(window, [](PositionQueue& queue) {
            if (g_portView.printer)
                g_portView.printer->Drain(queue);
        });
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

bool IsHostTarget(const std::string& port) {
    return port.rfind("gpsd://", 0) == 0 || port.find('/') != std::string::npos;
}

}  // namespace

int RunPort(const PortOptions& options, std::ostream& out, std::ostream& err) {
    platform::RebuildActiveDrivers();
    std::u16string portName = platform::Utf8ToWide(options.port);
    int runPort = 0;
    if (IsHostTarget(options.port)) {
        runPort = platform::AddRunPort(portName);
        if (runPort == 0) {
            err << "gpslog: no free port number for " << options.port << '\n';
            return 1;
        }
        portName = platform::Utf8ToWide("COM" + std::to_string(runPort) + ":");
    }
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = PortViewProc;
    windowClass.lpszClassName = u"GpslogView";
    RegisterClassW(&windowClass);
    HWND view = CreateWindowExW(0, u"GpslogView", u"gpslog", 0, 0, 0, 0, 0, nullptr, nullptr,
                                nullptr, nullptr);
    CreateDataMutex();
    g_positionQueue.Clear();
    const Clock::time_point start = Clock::now();
    int result = 0;
    {
        CNmeaReceiver receiver;
        g_gpsReceiver.store(&receiver);
        receiver.SetNotifyWindow(view);
        FixPrinter printer(receiver, options.format, out);
        g_portView.printer = &printer;
        const int opened = receiver.Open(portName.c_str(), options.baud, FALSE);
        if (opened != 0) {
            err << "gpslog: " << options.port << " does not open (" << opened << ")\n";
            result = 1;
        } else {
            while (receiver.IsWorkerRunning() &&
                   (options.seconds <= 0 || Seconds(start) < options.seconds)) {
                MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
                MSG message;
                while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
                    DispatchMessageW(&message);
            }
            receiver.Close();
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageW(&message);
            printer.Drain(g_positionQueue);
        }
        out.flush();
        if (result == 0) {
            Figures figures = FiguresOf(receiver, printer, receiver.BytesRead(), start);
            PrintFigures(figures, err);
        }
        g_portView.printer = nullptr;
        g_gpsReceiver.store(nullptr);
    }
    DestroyWindow(view);
    if (runPort != 0)
        platform::RemoveRunPort(runPort);
    return result;
}

}  // namespace gpslog
