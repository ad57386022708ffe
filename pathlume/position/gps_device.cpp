#include "pathlume/position/gps_device.h"

#include <bit>
#include <cmath>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/mapdb/map_records.h"
#include "platform/kernel/registry.h"
#include "platform/kernel/sync.h"
#include "platform/kernel/text.h"

CGpsDevice::CGpsDevice() {
    idleEvent_ = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    dataEvent_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    stopEvent_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

CGpsDevice::~CGpsDevice() {
    StopLog();
    CloseHandle(stopEvent_);
    CloseHandle(idleEvent_);
    CloseHandle(dataEvent_);
}

GpsFix CGpsDevice::GetFix() const {
    std::lock_guard<std::mutex> guard(fixLock_);
    return fix_;
}

DWORD CGpsDevice::GetFlags() const {
    std::lock_guard<std::mutex> guard(fixLock_);
    return flags_.load() | (fix_.valid ? kGpsFixValid : 0) | (log_.IsLogging() ? kGpsLogging : 0);
}

int CGpsDevice::StartLog(LPCWSTR path) {
    return log_.Start(path);
}

void CGpsDevice::StopLog() {
    log_.Stop();
}

int CGpsDevice::FlushLog() {
    return log_.Flush();
}

void CGpsDevice::LogSentence(const char* sentence, size_t length) {
    if (!log_.IsLogging())
        return;
    IMainView* view = g_mainView.load();
    if (view && view->IsSuspended())
        return;
    log_.Write(sentence, length);  // flushes as FlushLog does
}

int CGpsDevice::GetFixQuality() const {
    const GpsFix fix = GetFix();
    if (!fix.valid)
        return kFixQualityNone;
    if (fix.satellitesUsed >= 4 && fix.fixMode != kFixMode2D && !fix.estimated && fix.hdop <= 9.0f)
        return kFixQualityGood;
    return kFixQualityPoor;
}

FLOAT CGpsDevice::GetSpeed(BOOL kmh) const {
    FLOAT mph;
    {
        std::lock_guard<std::mutex> guard(fixLock_);
        mph = fix_.speedMph;
    }
    if (!(mph > 1.0f))
        return 0;
    return kmh ? mph * kMphToKmh : mph;
}

void CGpsDevice::ClearFix() {
    std::lock_guard<std::mutex> guard(fixLock_);
    fix_.valid = false;
    fix_.satellitesUsed = 0;
    fix_.speedMph = 0;
}

int CGpsDevice::GetUtcTime(SYSTEMTIME* time) const {
    const GpsFix fix = GetFix();
    if (fix.month == 0)
        return 1;
    time->wYear = static_cast<WORD>(2000 + fix.year);
    time->wMonth = static_cast<WORD>(fix.month);
    time->wDay = static_cast<WORD>(fix.day);
    time->wHour = static_cast<WORD>(fix.hour);
    time->wMinute = static_cast<WORD>(fix.minute);
    time->wSecond = static_cast<WORD>(fix.second);
    time->wMilliseconds = 0;
    return 0;
}

LPWSTR CGpsDevice::FormatLocalTime(LPWSTR buffer, size_t sizeChars) const {
    SYSTEMTIME utc{};
    FILETIME fileTime{}, localFileTime{};
    SYSTEMTIME local{};
    if (GetUtcTime(&utc) != 0 || !SystemTimeToFileTime(&utc, &fileTime) ||
        !FileTimeToLocalFileTime(&fileTime, &localFileTime) ||
        !FileTimeToSystemTime(&localFileTime, &local)) {
        swprintf(buffer, sizeChars, u"Local: 0000/00/00 00:00:00");
        return buffer;
    }
    swprintf(buffer, sizeChars, u"Local: %04d/%02d/%02d %02d:%02d:%02d", local.wYear, local.wMonth,
             local.wDay, local.wHour, local.wMinute, local.wSecond);
    return buffer;
}

LPWSTR CGpsDevice::FormatUtcTime(LPWSTR buffer, size_t sizeChars) const {
    const GpsFix fix = GetFix();
    swprintf(buffer, sizeChars, u"UTC: %04d/%02d/%02d %02d:%02d:%02d",
             fix.month != 0 ? 2000 + fix.year : fix.year, fix.month, fix.day, fix.hour, fix.minute,
             fix.second);
    return buffer;
}

void CGpsDevice::SetPaused(int run) {
    if (run == 0)
        SetFlags(kGpsPaused);
    else
        ClearFlags(kGpsPaused);
}

BOOL CGpsDevice::IsOpenInProgress() const {
    return WaitForSingleObject(idleEvent_, 0) != WAIT_OBJECT_0;
}

void CGpsDevice::SetIdle() {
    SetEvent(idleEvent_);
}

int CGpsDevice::TestAndClearIdle() {
    if (WaitForSingleObject(idleEvent_, 0) != WAIT_OBJECT_0)
        return 1;
    ResetEvent(idleEvent_);
    return 0;
}

bool CGpsDevice::IsStopping() const {
    return WaitForSingleObject(stopEvent_, 0) == WAIT_OBJECT_0;
}

namespace {

FLOAT FloatOfBits(DWORD bits) {
    return std::bit_cast<FLOAT>(bits);
}

DWORD BitsOfFloat(FLOAT value) {
    return std::bit_cast<DWORD>(value);
}

}  // namespace

void CGpsDevice::LoadLastPosition() {
    const FLOAT latitude =
        FloatOfBits(RegGetDword(HKEY_CURRENT_USER, kSettingsKey, kLastLatValue, 0));
    const FLOAT longitude =
        FloatOfBits(RegGetDword(HKEY_CURRENT_USER, kSettingsKey, kLastLonValue, 0));
    const FLOAT heading =
        FloatOfBits(RegGetDword(HKEY_CURRENT_USER, kSettingsKey, kLastHeadValue, 0));
    // A damaged or foreign value would put the vehicle nowhere on earth: such a
    // position is not taken, and such a heading reads as north.
    const bool positionUsable = std::isfinite(latitude) && std::isfinite(longitude) &&
                                std::fabs(latitude) <= 90 && std::fabs(longitude) <= 180;
    const bool headingUsable = std::isfinite(heading) && heading >= 0 && heading <= 360;
    std::lock_guard<std::mutex> guard(fixLock_);
    if (positionUsable) {
        fix_.latitude = latitude;
        fix_.longitude = longitude;
    }
    fix_.headingDegrees = headingUsable ? heading : 0;
}

void CGpsDevice::SaveLastPosition(const FLOAT* position) {
    MapPoint point{};
    if (position) {
        point.latitude = position[0];
        point.longitude = position[1];
    } else {
        point = g_vehicleLocation.SharedPosition();
    }
    if (point.latitude == 0 || point.longitude == 0)
        return;
    const FLOAT heading = GetFix().headingDegrees;
    // One write: a kill in the middle must not pair a new latitude with an old longitude.
    RegSetDwords(HKEY_CURRENT_USER, kSettingsKey,
                 {{kLastLatValue, BitsOfFloat(point.latitude)},
                  {kLastLonValue, BitsOfFloat(point.longitude)},
                  {kLastHeadValue, BitsOfFloat(heading)}});
}
