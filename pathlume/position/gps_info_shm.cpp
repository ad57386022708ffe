#include "pathlume/position/gps_info_shm.h"

#include <cstring>

#include "formats/gps_info.h"
#include "pathlume/mapdb/map_records.h"
#include "pathlume/mapdb/street_texts.h"
#include "pathlume/position/fix_source.h"
#include "platform/kernel/files.h"
#include "platform/kernel/handles.h"

namespace gps_info = formats::gps_info;

CGpsInfoShm g_gpsInfoShm;

void CGpsInfoShm::Create() {
    if (view_)
        return;
    mapping_ = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                  static_cast<DWORD>(gps_info::kSize), gps_info::kName);
    if (!mapping_)
        return;
    view_ = static_cast<BYTE*>(MapViewOfFile(mapping_, FILE_MAP_ALL_ACCESS, 0, 0, gps_info::kSize));
    if (!view_)
        return;
    std::memset(view_, 0, gps_info::kSize);
    std::memcpy(view_ + gps_info::kMarkOffset, gps_info::kMark, sizeof(gps_info::kMark));
}

void CGpsInfoShm::Close() {
    if (view_)
        UnmapViewOfFile(view_);
    view_ = nullptr;
    if (mapping_)
        CloseHandle(mapping_);
    mapping_ = nullptr;
}

void CGpsInfoShm::StoreAddress(const char* text) {
    if (!view_)
        return;
    const size_t length = strnlen(text, gps_info::kAddressSize - 1);
    std::memcpy(view_ + gps_info::kAddressOffset, text, length);
    view_[gps_info::kAddressOffset + length] = 0;
}

void CGpsInfoShm::Publish() {
    if (!view_)
        return;
    IFixSource& source = GetFixSource();
    const QueuedFix fix = source.FixPosition();
    formats::StoreF32(view_ + gps_info::kFixLatitudeOffset, fix.latitude);
    formats::StoreF32(view_ + gps_info::kFixLongitudeOffset, fix.longitude);

    const MapLocation& at = g_vehicleLocation;
    // A location without a link (or before any match, with no cosine yet) is not
    // matched, whatever its stale flag says.
    const bool matched = !at.stale && at.link && at.cosLat != 0;
    uint32_t status = 0;
    if (source.FixValid())
        status |= gps_info::kStatusFixValid;
    if (source.IsReplaying())
        status |= gps_info::kStatusReplay;
    if (matched)
        status |= gps_info::kStatusMatched;
    formats::StoreU32(view_ + gps_info::kStatusOffset, status);
    formats::StoreF32(view_ + gps_info::kMatchedLatitudeOffset,
                      matched ? at.lat : at.position.latitude);
    formats::StoreF32(view_ + gps_info::kMatchedLongitudeOffset,
                      matched ? at.scaledLon / at.cosLat : at.position.longitude);

    char line[512];
    if (matched && FormatAddressText(nullptr, line, sizeof(line), nullptr, 0, false) == 0)
        StoreAddress(line);
}
