#include "tools/gpslog/gpslog.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <deque>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <vector>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/mapdb/map_errors.h"
#include "pathlume/mapdb/map_index_files.h"
#include "pathlume/mapdb/street_texts.h"
#include "pathlume/position/fix_delivery.h"
#include "pathlume/position/map_matcher.h"
#include "pathlume/position/nmea_receiver.h"
#include "pathlume/position/travel_direction.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/paths.h"
#include "platform/kernel/registry.h"
#include "platform/kernel/serial.h"
#include "platform/kernel/text.h"
#include "platform/user/user.h"
#include "tools/mapstat/mapstat.h"
#include "tools/quiet_main_view.h"

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

// Map texts are single-byte (the ANSI code page); the output is UTF-8.
std::string Utf8(const std::string& text) {
    return platform::WideToUtf8(platform::AnsiToWide(text));
}

// A CSV field: quoted when it holds a comma, a quote or a line end.
std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (const char c : text) {
        quoted += c;
        if (c == '"')
            quoted += '"';
    }
    return quoted + "\"";
}

}  // namespace

std::string FormatFix(const GpsFix& fix, const QueuedPosition& position, int fixQuality,
                      Format format, const MatchedFix* matched) {
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
        row["matched_lat"] = matched ? nlohmann::ordered_json(matched->latitude) : nullptr;
        row["matched_lon"] = matched ? nlohmann::ordered_json(matched->longitude) : nullptr;
        row["link"] = matched ? nlohmann::ordered_json(matched->linkId) : nullptr;
        row["street"] = matched ? nlohmann::ordered_json(Utf8(matched->street)) : nullptr;
        return row.dump();
    }
    char line[160];
    std::snprintf(line, sizeof line, "%s,%.6f,%.6f,%.2f,%.1f,%d,%d,%.1f,", TimeText(fix).c_str(),
                  position.latitude, position.longitude, SpeedKmh(fix), position.headingDegrees,
                  fixQuality, fix.satellitesUsed, fix.hdop);
    if (!matched)
        return std::string(line) + ",,,";
    char where[80];
    std::snprintf(where, sizeof where, "%.6f,%.6f,%d,", matched->latitude, matched->longitude,
                  matched->linkId);
    return std::string(line) + where + CsvField(Utf8(matched->street));
}

std::string FiguresLine(const Figures& figures) {
    const double mb = static_cast<double>(figures.bytes) / 1e6;
    char line[260];
    int n = std::snprintf(
        line, sizeof line,
        "gpslog: %llu sentences, %llu checksum failures, %llu fixes, %.2f s, %.1f MB/s",
        static_cast<unsigned long long>(figures.sentences),
        static_cast<unsigned long long>(figures.checksumFailures),
        static_cast<unsigned long long>(figures.fixes), figures.seconds,
        figures.seconds > 0 ? mb / figures.seconds : 0.0);
    if (figures.matched && n > 0 && static_cast<size_t>(n) < sizeof line) {
        const double percent = figures.fixes > 0 ? 100.0 * static_cast<double>(*figures.matched) /
                                                       static_cast<double>(figures.fixes)
                                                 : 0.0;
        std::snprintf(line + n, sizeof line - static_cast<size_t>(n),
                      ", matched %.1f %%, median %.3f ms per matched fix", percent,
                      figures.medianMatchMs);
    }
    return line;
}

namespace {

// The map matcher on the map files of one folder: each fix is snapped alone, as the
// main view does with the queue it is handed.
class MapMatching {
  public:
    // Throws mapstat::MapError for a folder without usable map files.
    explicit MapMatching(const std::filesystem::path& folder)
        : scope_(folder), db_(mapstat::OpenMapFolder(folder, scope_)) {
        if (OpenMapIndexFiles() != 0) {
            CloseMapIndexFiles();
            throw mapstat::MapError(folder.string() + ": damaged map data (" + scope_.FirstBox() +
                                    ")");
        }
        g_vehicleLocation = MapLocation{};
        g_travelDirection = CTravelDirection{};
        g_mapMatcher.database = db_.get();
        g_mapMatcher.LoadSettings();
        g_mapMatcher.Reset(0);
    }
    ~MapMatching() {
        g_mapMatcher.ReleaseHypothesisLinks();
        g_mapMatcher.database = nullptr;
        // The matched location holds its counted link until the maps close.
        MapLocation& at = g_vehicleLocation;
        if (at.link && (at.linkFlags & kLinkCounted) && (at.link->flags & kLinkHeld)) {
            at.link->flags &= static_cast<uint16_t>(~kLinkHeld);
            MapLink::Release(CountedLink::FromLink(at.link), true);
        }
        g_vehicleLocation = MapLocation{};
        CloseMapIndexFiles();
    }
    MapMatching(const MapMatching&) = delete;
    MapMatching& operator=(const MapMatching&) = delete;

    // Snaps the position, queued alone for the receiver to hand to the matcher (which
    // also updates the travel direction): true with `out` filled when it was matched.
    bool Match(CNmeaReceiver& receiver, QueuedPosition* position, MatchedFix* out) {
        g_positionQueue.Push(*position);
        const Clock::time_point start = Clock::now();
        const int result = g_mapMatcher.Snap(0, 0, 0);
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        QueuedPosition taken;
        if (g_positionQueue.Pop(&taken) == 0)  // held: the matcher took nothing
            return false;
        receiver.LastPoppedFix(position);
        const MapLocation& at = g_vehicleLocation;
        if (result != 0 || !at.link || at.stale)
            return false;
        matchMs_.push_back(ms);
        out->latitude = at.lat;
        out->longitude = at.cosLat != 0 ? at.scaledLon / at.cosLat : 0;
        out->linkId = at.link->linkId;
        char street[kStreetTextSize];
        out->street = GetLinkStreetName(g_linkInfo, at.link->linkId, at.link->attributes,
                                        kPrimaryNames, street, sizeof street, false);
        return true;
    }

    void AddFigures(Figures& figures) {
        figures.matched = matchMs_.size();
        if (matchMs_.empty())
            return;
        const auto middle = matchMs_.begin() + static_cast<std::ptrdiff_t>(matchMs_.size() / 2);
        std::nth_element(matchMs_.begin(), middle, matchMs_.end());
        figures.medianMatchMs = *middle;
    }

  private:
    mapstat::DatabaseScope scope_;
    std::unique_ptr<CMapDatabase> db_;
    std::vector<double> matchMs_;
};

// Takes every queued position out, matches it when there are map files, and prints
// it with the receiver's fix.
class FixPrinter {
  public:
    FixPrinter(CNmeaReceiver& receiver, Format format, std::ostream& out,
               MapMatching* matching = nullptr)
        : receiver_(receiver), format_(format), out_(out), matching_(matching) {
        if (format_ == Format::Csv)
            out_ << kCsvHeader << '\n';
    }
    // Returns how many fixes were printed.
    int Drain(PositionQueue& queue) {
        // Matched one at a time: the matcher takes the next fix when one fails.
        std::deque<QueuedPosition> positions;
        QueuedPosition position;
        while (queue.Pop(&position) == 0)
            positions.push_back(position);
        for (QueuedPosition& p : positions) {
            MatchedFix matched;
            const bool found = matching_ && matching_->Match(receiver_, &p, &matched);
            const GpsFix fix = receiver_.GetFix();
            out_ << FormatFix(fix, p, receiver_.GetFixQuality(), format_,
                              found ? &matched : nullptr)
                 << '\n';
        }
        fixes_ += positions.size();
        return static_cast<int>(positions.size());
    }
    uint64_t Fixes() const { return fixes_; }

  private:
    CNmeaReceiver& receiver_;
    Format format_;
    std::ostream& out_;
    MapMatching* matching_;
    uint64_t fixes_ = 0;
};

Figures FiguresOf(const CNmeaReceiver& receiver, const FixPrinter& printer, uint64_t bytes,
                  Clock::time_point start, MapMatching* matching = nullptr) {
    const NmeaCounters counters = receiver.Counters();
    Figures figures;
    figures.sentences = counters.sentences;
    figures.checksumFailures = counters.checksumFailures;
    figures.fixes = printer.Fixes();
    figures.bytes = bytes;
    figures.seconds = Seconds(start);
    if (matching)
        matching->AddFigures(figures);
    return figures;
}

// The run's status once its maps were read: a chunk that could not be read was said
// in a box nobody sees, and the run is no success.
int StatusAfterMaps(const LogOptions& options, int readErrorsBefore, int status,
                    std::ostream& err) {
    if (options.maps.empty() || MapReadErrorCount() == readErrorsBefore)
        return status;
    err << "gpslog: " << options.maps.string() << ": damaged map data (" << LastMapReadError()
        << ")\n";
    return 1;
}

// A file that gave no NMEA sentence is no log: the run fails, naming what the file
// looks like when it is a GPX track (the receiver reads NMEA only).
bool NoSentences(const Figures& figures, const std::string& path, std::ostream& err) {
    if (figures.sentences > figures.checksumFailures)
        return false;
    std::ifstream in(path, std::ios::binary);
    std::string head(512, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<size_t>(in.gcount()));
    err << "gpslog: no NMEA sentences in " << path;
    if (head.find("<gpx") != std::string::npos)
        err << ": it is a GPX track, not an NMEA log";
    err << '\n';
    return true;
}

// Opens the map files of options.maps, when given; false (with the reason on err)
// when the folder holds none that are usable.
bool OpenMatching(const LogOptions& options, std::unique_ptr<MapMatching>& matching,
                  std::ostream& err) {
    if (options.maps.empty())
        return true;
    try {
        matching = std::make_unique<MapMatching>(options.maps);
    } catch (const mapstat::MapError& error) {
        err << "gpslog: " << error.what() << '\n';
        return false;
    }
    return true;
}

}  // namespace

int RunRaw(const LogOptions& options, std::ostream& out, std::ostream& err) {
    std::ifstream in(options.logPath, std::ios::binary);
    if (!in) {
        err << "gpslog: cannot read " << options.logPath << '\n';
        return 1;
    }
    std::unique_ptr<MapMatching> matching;
    const int readErrors = MapReadErrorCount();
    if (!OpenMatching(options, matching, err))
        return 1;
    const Clock::time_point start = Clock::now();
    g_positionQueue.Clear();
    CNmeaReceiver receiver;
    receiver.ReadSettings();  // as any source does when it opens
    FixPrinter printer(receiver, options.format, out, matching.get());
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
    const Figures figures = FiguresOf(receiver, printer, bytes, start, matching.get());
    PrintFigures(figures, err);
    if (NoSentences(figures, options.logPath, err))
        return 1;
    return StatusAfterMaps(options, readErrors, 0, err);
}

namespace {

// The main view while a log plays: its window takes each new-fix message, and the
// receiver sees a view in replay that never pans.
class PlaybackView final : public QuietMainView {
  public:
    PlaybackView();
    ~PlaybackView();
    PlaybackView(const PlaybackView&) = delete;
    PlaybackView& operator=(const PlaybackView&) = delete;

    HWND GetViewWindow() override { return window_; }
    BOOL GetReplayFlag() override { return TRUE; }
    DWORD GetLastDataTime() override { return lastDataTime_.load(); }
    void SetLastDataTime(DWORD tick) override { lastDataTime_.store(tick); }
    void GetPanCentre(FLOAT* latitude, FLOAT* longitude) override { *latitude = *longitude = 0; }
    int AddToFavorites(const AddressHit&, int, const char*, const char*, const char*, BOOL,
                       BOOL) override {
        return 1;
    }

    // Serves the window until the playback thread tells its end (WM_USER 3).
    void RunUntilPlaybackEnds();

    FixPrinter* printer = nullptr;

  private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND window_ = nullptr;
    bool ended_ = false;
    std::atomic<DWORD> lastDataTime_{0};
};

PlaybackView* g_playbackView = nullptr;

PlaybackView::PlaybackView() {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = Proc;
    windowClass.lpszClassName = u"GpslogPlaybackView";
    RegisterClassW(&windowClass);
    window_ = CreateWindowExW(0, u"GpslogPlaybackView", u"gpslog", 0, 0, 0, 0, 0, nullptr, nullptr,
                              nullptr, nullptr);
    g_playbackView = this;
    g_mainView.store(this);
}

PlaybackView::~PlaybackView() {
    g_mainView.store(nullptr);
    g_playbackView = nullptr;
    DestroyWindow(window_);
}

void PlaybackView::RunUntilPlaybackEnds() {
    while (!ended_) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
    }
}

LRESULT CALLBACK PlaybackView::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    PlaybackView* view = g_playbackView;
    if (message == WM_USER && view && wParam == kNewFixMessage) {
        // The queue is taken before the message counts as handled: until then the
        // playback thread waits, so the receiver's fix printed is the queued one's.
        if (view->printer)
            view->printer->Drain(g_positionQueue);
        HandleNewFixMessage(window, {});
        return 0;
    }
    if (message == WM_USER && view && wParam == kViewPlaybackEnded) {
        view->ended_ = true;
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int RunLog(const LogOptions& options, std::ostream& out, std::ostream& err) {
    std::error_code error;
    const std::filesystem::path log = std::filesystem::absolute(options.logPath, error);
    const uintmax_t bytes = std::filesystem::file_size(log, error);
    if (error) {
        err << "gpslog: cannot read " << options.logPath << '\n';
        return 1;
    }
    std::unique_ptr<MapMatching> matching;
    const int readErrors = MapReadErrorCount();
    if (!OpenMatching(options, matching, err))
        return 1;
    const Clock::time_point start = Clock::now();
    CreateDataMutex();
    g_positionQueue.Clear();
    int result = 0;
    {
        PlaybackView view;
        CNmeaReceiver receiver;
        g_gpsReceiver.store(&receiver);
        receiver.SetNotifyWindow(view.GetViewWindow());
        FixPrinter printer(receiver, options.format, out, matching.get());
        view.printer = &printer;
        if (!options.realtime)
            receiver.OverridePlaybackDelay(0);
        const int opened = receiver.OpenPlayback(platform::HostPathText(log).c_str());
        if (opened != 0) {
            err << "gpslog: " << options.logPath
                << (opened == 1 ? " does not open\n" : ": the playback thread cannot start\n");
            result = 1;
        } else {
            view.RunUntilPlaybackEnds();
            receiver.Close();
            printer.Drain(g_positionQueue);
            out.flush();
            const Figures figures = FiguresOf(receiver, printer, bytes, start, matching.get());
            PrintFigures(figures, err);
            if (NoSentences(figures, options.logPath, err))
                result = 1;
        }
        view.printer = nullptr;
        g_gpsReceiver.store(nullptr);
    }
    return StatusAfterMaps(options, readErrors, result, err);
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

// Why a port the receiver could not open does not open, in words a user can act on.
std::string WhyPortFails(const std::string& port, const std::u16string& portName) {
    if (port.rfind("gpsd://", 0) == 0)
        return "no GPS daemon answers there";
    if (port.find('/') != std::string::npos) {
        const int fd = ::open(port.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        const int why = errno;
        if (fd >= 0) {
            const bool tty = ::isatty(fd) != 0;
            ::close(fd);
            return tty ? "in use by another program" : "not a serial device";
        }
        if (why == EACCES || why == EPERM)
            return "permission denied: add the user to the dialout group (sudo usermod -aG "
                   "dialout $USER, then log in again)";
        if (why == EBUSY)
            return "in use by another program";
        return "no such device";
    }
    HANDLE handle = CreateFileW(portName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
        return "it opens now: try again";
    }
    return GetLastError() == ERROR_ACCESS_DENIED
               ? "permission denied or in use: the device behind it may need the user in the "
                 "dialout group (sudo usermod -aG dialout $USER, then log in again)"
               : "no such device";
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
            err << "gpslog: " << options.port
                << " does not open: " << WhyPortFails(options.port, portName) << "\n";
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
