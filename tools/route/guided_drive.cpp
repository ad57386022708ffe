#include "tools/route/guided_drive.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>
#include <ostream>
#include <set>
#include <stdexcept>
#include <system_error>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/heap.h"
#include "pathlume/guidance/guidance_update.h"
#include "pathlume/guidance/maneuver_phrase.h"
#include "pathlume/guidance/route_position.h"
#include "pathlume/mapdb/geodesy.h"
#include "pathlume/position/gps_log.h"
#include "pathlume/route/positioning_services.h"
#include "pathlume/route/route_hooks.h"
#include "pathlume/route/router.h"
#include "pathlume/voice/voice_prompt.h"
#include "platform/audio/audio.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/paths.h"
#include "platform/kernel/text.h"
#include "platform/user/user.h"
#include "tools/quiet_main_view.h"
#include "tools/route/route_tool.h"

namespace routetool {

namespace fs = std::filesystem;

namespace {

constexpr double kMetresPerRadian = 6370973.27862;
constexpr double kPi = 3.14159265358979323846;
constexpr double kKnotsPerKmh = 1 / 1.852;
// Travel speeds by speed category, km/h (guidance's time-to-go table).
constexpr double kCategoryKmh[8] = {130, 105, 90, 65, 50, 35, 10, 8};
// A route end the vehicle stands at this long without arriving ends the drive.
constexpr int kSecondsAtTheEnd = 30;
// How far the vehicle drives off the route at most while waiting for a new one.
constexpr double kStrayMetres = 3000;

// One link of the drive in driving order: its points and, for each step between
// two of them, the link's own shape segment.
struct Piece {
    MapLink* link = nullptr;
    bool forward = true;  // from its from-node toward its to-node
    std::vector<MapPoint> points;
    std::vector<uint32_t> segments;
    std::vector<double> metres;  // of each step
    double length = 0;
};

double Metres(const MapPoint& a, const MapPoint& b) {
    return GeoDistance(a, b) * kMetresPerRadian;
}

// The link driven toward its to-node (forward) or back, whole or from `start` (a
// point of shape segment startSegment) and up to `end` (of endSegment).
Piece MakePiece(MapLink* link, bool forward, const MapPoint* start, uint32_t startSegment,
                const MapPoint* end, uint32_t endSegment) {
    Piece piece;
    piece.link = link;
    piece.forward = forward;
    const std::vector<MapPoint> points = LinkPoints(*link);
    const uint32_t last = static_cast<uint32_t>(points.size() - 1);
    startSegment = std::min(startSegment, last - 1);
    endSegment = std::min(endSegment, last - 1);
    if (forward) {
        const uint32_t first = start ? startSegment : 0;
        const uint32_t final = end ? endSegment : last - 1;
        piece.points.push_back(start ? *start : points[first]);
        for (uint32_t s = first; s <= final && s < last; ++s) {
            piece.points.push_back(s == final && end ? *end : points[s + 1]);
            piece.segments.push_back(s);
        }
    } else {
        const uint32_t first = start ? startSegment : last - 1;
        const uint32_t final = end ? endSegment : 0;
        piece.points.push_back(start ? *start : points[first + 1]);
        for (int64_t s = first; s >= static_cast<int64_t>(final); --s) {
            piece.points.push_back(static_cast<uint32_t>(s) == final && end ? *end : points[s]);
            piece.segments.push_back(static_cast<uint32_t>(s));
        }
    }
    for (size_t k = 0; k + 1 < piece.points.size(); ++k) {
        piece.metres.push_back(Metres(piece.points[k], piece.points[k + 1]));
        piece.length += piece.metres.back();
    }
    return piece;
}

MapNode* FarNode(const Piece& piece) {
    return piece.forward ? piece.link->toNode : piece.link->fromNode;
}

bool DrivableAway(const MapLink& link, const MapNode* node) {
    if (link.IsDead() || !(link.attributes & kAttrRoutableKinds) || !link.fromNode ||
        !link.toNode) {
        return false;
    }
    const uint32_t direction = link.attributes & kAttrDirectionMask;
    return direction == kAttrDirectionMask ||
           (direction == kAttrForward && link.fromNode == node) ||
           (direction == kAttrBackward && link.toNode == node);
}

// The router's route as pieces, from its start point to its destination point.
std::vector<Piece> RoutePieces(const CRouter& r) {
    std::vector<Piece> pieces;
    if (r.routeCount == 0) {
        // Along the start link to the destination.
        if (MapLink* start = r.routeStartLink)
            pieces.push_back(MakePiece(start, r.startPart == 2, &r.startPoint, r.startSegment,
                                       &r.destPoint, r.destSegment));
        return pieces;
    }
    const MapNode* first = nullptr;
    RouteEntryLink(r.routeList[0], &first);
    if (MapLink* start = r.routeStartLink; start && first) {
        const bool towardTo = r.startPart == 2 || (r.startPart != 1 && first == start->toNode);
        pieces.push_back(MakePiece(start, towardTo, &r.startPoint, r.startSegment, nullptr, 0));
    }
    for (int32_t i = 0; i + 1 < r.routeCount; ++i) {
        const MapNode* node = nullptr;
        const MapLink* link = RouteEntryLink(r.routeList[i], &node);
        if (link && link->fromNode && link->toNode) {
            pieces.push_back(MakePiece(const_cast<MapLink*>(link), node == link->fromNode, nullptr,
                                       0, nullptr, 0));
        }
    }
    const MapNode* last = nullptr;
    RouteEntryLink(r.routeList[r.routeCount - 1], &last);
    if (MapLink* dest = r.routeDestLink; dest && last) {
        const bool fromFrom = r.destPart == 1 || (r.destPart != 2 && last == dest->fromNode);
        pieces.push_back(MakePiece(dest, fromFrom, nullptr, 0, &r.destPoint, r.destSegment));
    }
    return pieces;
}

// Leaves the route at the first junction at least `afterMetres` along it: the
// pieces up to that node, then a side road and the roads beyond it, never back onto
// a route link, for up to kStrayMetres. Returns the index of the first piece off the
// route, or -1 when no junction after that offers a way off.
int StrayFrom(std::vector<Piece>& pieces, double afterMetres) {
    std::set<int32_t> routeLinks;
    for (const Piece& piece : pieces) {
        routeLinks.insert(piece.link->linkId);
    }
    double along = 0;
    for (size_t i = 0; i + 1 < pieces.size(); ++i) {
        along += pieces[i].length;
        if (along < afterMetres) {
            continue;
        }
        MapNode* node = FarNode(pieces[i]);
        for (uint32_t s = 0; s < node->SlotCapacity(); ++s) {
            MapLink* side = node->Slots()[s];
            if (!side || routeLinks.count(side->linkId) || !DrivableAway(*side, node)) {
                continue;
            }
            pieces.resize(i + 1);
            const int off = static_cast<int>(pieces.size());
            double offMetres = 0;
            MapLink* link = side;
            while (link && offMetres < kStrayMetres) {
                pieces.push_back(MakePiece(link, link->fromNode == node, nullptr, 0, nullptr, 0));
                offMetres += pieces.back().length;
                node = FarNode(pieces.back());
                MapLink* next = nullptr;
                for (uint32_t t = 0; t < node->SlotCapacity() && !next; ++t) {
                    MapLink* candidate = node->Slots()[t];
                    if (candidate && candidate->linkId != link->linkId &&
                        !routeLinks.count(candidate->linkId) && DrivableAway(*candidate, node)) {
                        next = candidate;
                    }
                }
                link = next;
            }
            return off;
        }
    }
    return -1;
}

// Where the vehicle is on the pieces.
struct Place {
    size_t piece = 0;
    size_t step = 0;
    MapPoint point;
    double headingDegrees = 0;
};

Place PlaceAt(const std::vector<Piece>& pieces, double along) {
    Place place;
    for (size_t i = 0; i < pieces.size(); ++i) {
        const Piece& piece = pieces[i];
        for (size_t k = 0; k < piece.metres.size(); ++k) {
            const bool lastStep = i + 1 == pieces.size() && k + 1 == piece.metres.size();
            if (along <= piece.metres[k] || lastStep) {
                const double t =
                    piece.metres[k] > 0 ? std::clamp(along / piece.metres[k], 0.0, 1.0) : 0.0;
                const MapPoint& a = piece.points[k];
                const MapPoint& b = piece.points[k + 1];
                place.piece = i;
                place.step = k;
                place.point = {static_cast<FLOAT>(a.latitude + t * (b.latitude - a.latitude)),
                               static_cast<FLOAT>(a.longitude + t * (b.longitude - a.longitude))};
                const double east = (b.longitude - a.longitude) * std::cos(a.latitude * kPi / 180);
                const double north = b.latitude - a.latitude;
                place.headingDegrees = std::fmod(std::atan2(east, north) * 180 / kPi + 360, 360);
                return place;
            }
            along -= piece.metres[k];
        }
    }
    return place;
}

double Length(const std::vector<Piece>& pieces) {
    double sum = 0;
    for (const Piece& piece : pieces) {
        sum += piece.length;
    }
    return sum;
}

const char* ScreenName(int mode) {
    switch (mode) {
        case 1:
            return "map";
        case 2:
            return "gps";
        case 4:
            return "guidance";
        case 8:
            return "route list";
        case 16:
            return "almanac";
        default:
            return "?";
    }
}

// The tool's headless main view: it keeps the screen mode and tells its switches.
class DriveView final : public QuietMainView {
  public:
    explicit DriveView(std::function<void(int)> onSwitch) : onSwitch_(std::move(onSwitch)) {
        // A window of its own, so that the timers and notices guidance and the route
        // search leave on the view go when the drive ends.
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.lpszClassName = u"GuidedDriveView";
        RegisterClassW(&windowClass);
        window_ = CreateWindowExW(0, u"GuidedDriveView", u"", 0, 0, 0, 10, 10, nullptr, nullptr,
                                  nullptr, nullptr);
    }
    ~DriveView() {
        if (window_) {
            DestroyWindow(window_);
        }
    }
    DriveView(const DriveView&) = delete;
    DriveView& operator=(const DriveView&) = delete;
    HWND GetViewWindow() override { return window_; }
    DWORD GetScreenMode() override { return mode_; }
    DWORD GetLastDataTime() override { return lastData_; }
    void SetLastDataTime(DWORD tick) override { lastData_ = tick; }
    void GetPanCentre(FLOAT* latitude, FLOAT* longitude) override {
        *latitude = g_vehicleLocation.position.latitude;
        *longitude = g_vehicleLocation.position.longitude;
    }
    int AddToFavorites(const AddressHit&, int, const char*, const char*, const char*, BOOL,
                       BOOL) override {
        return 1;
    }
    void SwitchScreen(int mode) override {
        if (static_cast<DWORD>(mode) != mode_) {
            mode_ = static_cast<DWORD>(mode);
            onSwitch_(mode);
        }
    }

  private:
    std::function<void(int)> onSwitch_;
    HWND window_ = nullptr;
    DWORD mode_ = 1;
    DWORD lastData_ = 0;
};

// ---- The GPS log ----------------------------------------------------------------

std::string WithChecksum(const std::string& body) {
    unsigned sum = 0;
    for (size_t i = 1; i < body.size(); ++i) {
        sum ^= static_cast<unsigned char>(body[i]);
    }
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X", sum & 0xFF);
    return body + tail;
}

std::string Angle(double degrees, int degreeDigits) {
    const double value = std::fabs(degrees);
    const int whole = static_cast<int>(value);
    double minutes = (value - whole) * 60;
    char text[32];
    std::snprintf(text, sizeof text, "%0*d%07.4f", degreeDigits, whole, minutes);
    return text;
}

// GGA, GSA and RMC of one fix: 3D, 8 satellites, at the given UTC time.
std::vector<std::string> FixSentences(const MapPoint& p, double kmh, double heading,
                                      std::time_t when) {
    std::tm utc{};
    gmtime_r(&when, &utc);
    char time[40], date[40];
    std::snprintf(time, sizeof time, "%02d%02d%02d", utc.tm_hour, utc.tm_min, utc.tm_sec);
    std::snprintf(date, sizeof date, "%02d%02d%02d", utc.tm_mday, utc.tm_mon + 1,
                  utc.tm_year % 100);
    const std::string lat = Angle(p.latitude, 2) + (p.latitude < 0 ? ",S" : ",N");
    const std::string lon = Angle(p.longitude, 3) + (p.longitude < 0 ? ",W" : ",E");
    char motion[32];
    std::snprintf(motion, sizeof motion, "%.1f,%.1f", kmh * kKnotsPerKmh, heading);
    return {WithChecksum(std::string("$GPGGA,") + time + "," + lat + "," + lon +
                         ",1,08,0.9,0.0,M,0.0,M,,"),
            WithChecksum("$GPGSA,A,3,01,02,03,04,05,06,07,08,,,,,1.6,0.9,1.3"),
            WithChecksum(std::string("$GPRMC,") + time + ",A," + lat + "," + lon + "," + motion +
                         "," + date + ",,")};
}

// The log goes to a name of its own and takes the asked one only when the drive
// arrived, so a drive that did not leaves nothing that looks like a recording.
class DriveLog {
  public:
    explicit DriveLog(const fs::path& path) : path_(path) {
        if (path.empty()) {
            return;
        }
        partial_ = path;
        partial_ += ".partial";
        if (log_.Start(platform::HostPathText(fs::absolute(partial_)).c_str()) != 0) {
            throw std::runtime_error(path.string() + ": cannot be written");
        }
    }
    ~DriveLog() {
        if (!partial_.empty()) {
            log_.Stop();
            std::error_code error;
            fs::remove(partial_, error);
        }
    }
    void Write(const std::vector<std::string>& sentences) {
        for (const std::string& sentence : sentences) {
            if (!partial_.empty() && log_.Write(sentence.data(), sentence.size()) != 0) {
                throw std::runtime_error(path_.string() + ": cannot be written");
            }
            log_.Flush();
        }
    }
    // Keeps the log under its name.
    void Keep() {
        if (partial_.empty()) {
            return;
        }
        log_.Stop();
        std::error_code error;
        fs::rename(partial_, path_, error);
        if (error) {
            throw std::runtime_error(path_.string() + ": " + error.message());
        }
        partial_.clear();
    }

  private:
    fs::path path_;
    fs::path partial_;
    CGpsLog log_;
};

// ---- The voice ------------------------------------------------------------------

// Speaks through the voice queue from a folder of recordings for the drive's time,
// recording it when asked, and waits for the last phrase at the end.
class DriveVoice {
  public:
    DriveVoice(const fs::path& folder, const fs::path& wav) {
        if (folder.empty()) {
            return;
        }
        std::error_code error;
        const bool speex = fs::is_regular_file(folder / "0.spx", error);
        if (!speex && !fs::is_regular_file(folder / "0.wav", error)) {
            throw std::runtime_error(folder.string() + ": no voice prompts (0.spx or 0.wav) in it");
        }
        const std::u16string text = platform::HostPathText(fs::absolute(folder)) + u"/";
        if (text.size() >= MAX_PATH) {
            throw std::runtime_error(folder.string() + ": the path is too long for the voice");
        }
        std::copy(g_soundFolder, g_soundFolder + MAX_PATH, savedFolder_);
        std::copy(text.begin(), text.end(), g_soundFolder);
        g_soundFolder[text.size()] = 0;
        savedSpeex_ = g_speexPrompts.exchange(speex ? 1 : 0);
        if (!wav.empty() && !platform::StartAudioCapture(wav)) {
            Restore();
            throw std::runtime_error(wav.string() + ": cannot be written");
        }
        capturing_ = !wav.empty();
        InitVoiceLock();
        active_ = true;
    }
    ~DriveVoice() {
        if (!active_) {
            return;
        }
        // The last phrase is heard out (a phrase lasts seconds, not minutes).
        for (int waited = 0; g_playingPrompt.load() && waited < 600; ++waited) {
            Sleep(100);
        }
        DeleteVoiceLock();
        if (capturing_) {
            platform::StopAudioCapture();
        }
        Restore();
    }
    bool Active() const { return active_; }
    // The drive has no clock of its own: it waits while the voice speaks, so that
    // every phrase is heard whole and none is dropped from the voice's queue.
    void Speak(const PhraseBuffer& phrase) {
        while (g_playingPrompt.load()) {
            Sleep(10);
        }
        void* block = g_heap.Alloc(sizeof(CVoicePrompt));
        CVoicePrompt::Speak(block ? new (block) CVoicePrompt : nullptr, phrase.words, phrase.count,
                            0);
    }

  private:
    void Restore() {
        std::copy(savedFolder_, savedFolder_ + MAX_PATH, g_soundFolder);
        g_speexPrompts.store(savedSpeex_);
    }

    bool active_ = false;
    bool capturing_ = false;
    WCHAR savedFolder_[MAX_PATH] = {};
    DWORD savedSpeex_ = 0;
};

std::string WordsText(const PhraseBuffer& phrase) {
    std::string text;
    for (int i = 0; i < phrase.count; ++i) {
        const int w = phrase.words[i];
        if (i)
            text += ' ';
        text += w >= 0 && w < kPromptWordCount ? platform::WideToUtf8(PromptWordTable[w]) : "?";
    }
    return text;
}

double ToMetres(FLOAT radians) {
    return static_cast<double>(radians) * kMetresPerRadian;
}

// Sets and restores the program-wide state a drive uses.
class DriveScope {
  public:
    DriveScope(IMainView* view, IPositioningServices* positioning, IRouteGuidance* guidance)
        : options_(g_options.load()), view_(g_mainView.load()) {
        // The guidance screen comes up near maneuvers as it does by default.
        g_options.store(options_ | kOptionAutoGuidance);
        g_mainView.store(view);
        SetPositioningServices(positioning);
        SetRouteGuidance(guidance);
    }
    ~DriveScope() {
        SetRouteGuidance(nullptr);
        SetPositioningServices(nullptr);
        g_mainView.store(view_);
        g_options.store(options_);
        g_vehicleLocation.link = nullptr;
    }

  private:
    DWORD options_;
    IMainView* view_;
};

}  // namespace

std::string DriveFiguresLine(const DriveReport& report) {
    char line[160];
    std::snprintf(line, sizeof line, "updates=%zu phrases=%zu recalcs=%d arrived=%d",
                  report.updates.size(), report.phrases.size(), report.recalcs,
                  report.arrived ? 1 : 0);
    return line;
}

DriveReport GuideDrive(CRouter& r, const GuideOptions& options, std::ostream& out) {
    DriveReport report;
    int second = 0;
    auto print = [&out, &second](const std::string& text) {
        char at[32];
        std::snprintf(at, sizeof at, "%6d s  ", second);
        out << at << text << "\n";
    };
    DriveVoice voice(options.voice, options.wav);
    DriveLog log(options.nmea);
    VehiclePositioning gps;
    DriveView view([&](int mode) {
        report.screens.push_back(ScreenName(mode));
        print(std::string("screen ") + ScreenName(mode));
    });
    CGuidance guidance([&](const PhraseBuffer& phrase) {
        DrivePhrase said;
        said.second = second;
        said.generation = report.recalcs;
        said.maneuver = r.currentManeuver;
        said.toManeuverMetres = ToMetres(r.nextManeuverDistance);
        said.words.assign(phrase.words, phrase.words + phrase.count);
        said.text = WordsText(phrase);
        char distance[48];
        std::snprintf(distance, sizeof distance, "%7.0f m  ", said.toManeuverMetres);
        print(distance + said.text);
        report.phrases.push_back(std::move(said));
        if (voice.Active()) {
            voice.Speak(phrase);
        }
    });
    DriveScope scope(&view, &gps, &guidance);

    auto noteRoute = [&]() {
        DriveRoute route;
        for (int32_t m = 0; m < r.maneuverCount; ++m) {
            route.kinds.push_back(r.maneuvers[m].kind);
        }
        route.startLinkId = r.routeStartLink ? r.routeStartLink->linkId : 0;
        const MapLink* at = g_vehicleLocation.GetLink(false);
        route.vehicleLinkId = at ? at->linkId : route.startLinkId;
        report.routes.push_back(route);
    };
    noteRoute();
    std::vector<Piece> pieces = RoutePieces(r);
    int strayPiece = -1;
    if (options.strayKm >= 0) {
        strayPiece = StrayFrom(pieces, options.strayKm * 1000);
        if (strayPiece < 0) {
            print("no junction to leave the route at after " + std::to_string(options.strayKm) +
                  " km: staying on it");
        }
    }
    double along = 0;
    double total = Length(pieces);
    int atTheEnd = 0;
    const std::time_t start = std::time(nullptr);
    // Long enough for the route at a walking pace and the recalculations.
    const int limit = static_cast<int>(total / 1.5) + 3600;
    const auto cpuStart = std::clock();
    for (; second < limit; ++second) {
        const Place place = PlaceAt(pieces, along);
        const Piece& piece = pieces[place.piece];
        g_vehicleLocation.link = piece.link;
        g_vehicleLocation.segment = piece.segments[place.step];
        g_vehicleLocation.SetPosition(place.point);
        g_vehicleLocation.stale = 0;
        gps.kmh = options.kmh > 0 ? options.kmh : kCategoryKmh[piece.link->attributes & 7];
        gps.heading = place.headingDegrees;
        gps.travel = piece.forward ? kTravelForward : kTravelBackward;
        if (strayPiece >= 0 && static_cast<int>(place.piece) >= strayPiece &&
            report.strayUpdate < 0) {
            report.strayUpdate = static_cast<int>(report.updates.size());
            print("off the route");
        }
        log.Write(FixSentences(place.point, gps.kmh, gps.heading, start + second));

        const int recalcsBefore = guidance.Recalculations();
        guidance.UpdateGuidance(r, 0);
        const bool recalculated = guidance.Recalculations() != recalcsBefore;
        DriveUpdate update;
        update.second = second;
        update.generation = report.recalcs + (recalculated ? 1 : 0);
        update.maneuver = r.currentManeuver;
        update.remainingMetres = ToMetres(r.remainingLength);
        update.toManeuverMetres = ToMetres(r.nextManeuverDistance);
        update.stageBits = r.state & kStageBits;
        update.linkId = piece.link->linkId;
        update.roundabout = (piece.link->attributes & kAttrRoundabout) != 0;
        update.recalculated = recalculated;
        report.updates.push_back(update);

        if (r.state & kRouterArrived) {
            report.arrived = true;
            report.arrivalMetres = Metres(place.point, r.destPoint);
            report.arrivalAllowanceMetres = 4 * kCategoryKmh[piece.link->attributes & 7] / 3.6;
            char text[64];
            std::snprintf(text, sizeof text, "arrived, %.0f m from the destination",
                          report.arrivalMetres);
            print(text);
            break;
        }
        if (recalculated) {
            ++report.recalcs;
            if (!r.HasRouteToFollow()) {
                print("recalculation " + std::to_string(report.recalcs) + ": no route");
                break;
            }
            noteRoute();
            char text[96];
            std::snprintf(text, sizeof text, "recalculation %d: %.0f m to go, %d maneuvers",
                          report.recalcs, ToMetres(r.routeLength), r.maneuverCount);
            print(text);
            // The new route starts where the vehicle is.
            pieces = RoutePieces(r);
            strayPiece = -1;
            along = 0;
            total = Length(pieces);
            atTheEnd = 0;
            continue;
        }
        const double step = gps.kmh / 3.6;
        if (along + step > total) {
            along = total;
            if (++atTheEnd > kSecondsAtTheEnd) {
                print("stopped at the end of the road without arriving");
                break;
            }
        } else {
            along += step;
        }
    }
    report.cpuSeconds = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    report.simulatedSeconds = second;
    if (report.arrived) {
        log.Keep();
    }
    return report;
}

}  // namespace routetool
