#include "pathlume/foundation/screen_background.h"

#include <atomic>
#include <mutex>

#include "pathlume/foundation/app_services.h"
#include "platform/gdi/gdi.h"
#include "platform/user/user.h"

namespace {

constexpr UINT kBitmapDayPattern = 154;
constexpr UINT kBitmapNightPattern = 155;

std::mutex g_brushLock;
HBRUSH g_patternBrush = nullptr;
HBITMAP g_patternBitmap = nullptr;
std::atomic<BackgroundColorSource> g_colorSource{nullptr};

bool Night() {
    return g_colorMode.load() == kColorModeNight;
}

COLORREF PlainColour(bool night) {
    return night ? RGB(0, 0, 0) : RGB(255, 255, 255);
}

}  // namespace

HBRUSH GetBackgroundBrush() {
    std::lock_guard<std::mutex> guard(g_brushLock);
    if (!g_patternBrush) {
        const bool night = Night();
        g_patternBitmap =
            LoadBitmapW(nullptr, MAKEINTRESOURCEW(night ? kBitmapNightPattern : kBitmapDayPattern));
        g_patternBrush = g_patternBitmap ? CreatePatternBrush(g_patternBitmap)
                                         : CreateSolidBrush(PlainColour(night));
    }
    return g_patternBrush;
}

void ResetBackgroundBrush() {
    std::lock_guard<std::mutex> guard(g_brushLock);
    if (g_patternBrush)
        DeleteObject(g_patternBrush);
    if (g_patternBitmap)
        DeleteObject(g_patternBitmap);
    g_patternBrush = nullptr;
    g_patternBitmap = nullptr;
}

COLORREF GetBackgroundColor() {
    const BackgroundColorSource source = g_colorSource.load();
    return source ? source() : PlainColour(Night());
}

void SetBackgroundColorSource(BackgroundColorSource source) {
    g_colorSource.store(source);
}
