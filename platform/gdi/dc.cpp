// Device contexts: the screen, memory DCs, their drawing state and its save stack.
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>

#include "platform/gdi/gdi_internal.h"

namespace platform::gdi {

namespace {

// The screen's mode, and its surface once something draws: asking for the screen's
// size alone (the map database sizes its cache by it) makes no surface.
struct ScreenState {
    std::shared_ptr<Bitmap> bitmap;
    int width = 240;
    int height = 320;
    int dpi = 96;
};

ScreenState& ScreenInfo() {
    static ScreenState* state = new ScreenState;
    return *state;
}

void InitState(DcState& state) {
    state.bitmap = StockBitmap();
    state.pen = std::static_pointer_cast<Pen>(StockObject(BLACK_PEN));
    state.brush = std::static_pointer_cast<Brush>(StockObject(WHITE_BRUSH));
    state.font = std::static_pointer_cast<Font>(StockObject(SYSTEM_FONT));
}

}  // namespace

std::shared_ptr<Bitmap> Screen() {
    ScreenState& screen = ScreenInfo();
    if (!screen.bitmap) {
        screen.bitmap = NewBitmap(screen.width, screen.height);
    }
    return screen.bitmap;
}

Dc::~Dc() {
    if (state.bitmap && state.bitmap->selectedInto == this) {
        state.bitmap->selectedInto = nullptr;
    }
}

Bitmap& Dc::Target() {
    return memory ? *state.bitmap : *Screen();
}

RECT Dc::Clip() {
    Bitmap& target = Target();
    RECT bounds{0, 0, target.width, target.height};
    return memory ? bounds : Intersect(bounds, screenClip);
}

bool SelectBitmap(Dc& dc, const std::shared_ptr<Bitmap>& bitmap) {
    if (!bitmap->stock && bitmap->selectedInto && bitmap->selectedInto != &dc) {
        return false;
    }
    if (dc.state.bitmap && dc.state.bitmap->selectedInto == &dc) {
        dc.state.bitmap->selectedInto = nullptr;
    }
    if (!bitmap->stock) {
        bitmap->selectedInto = &dc;
    }
    dc.state.bitmap = bitmap;
    return true;
}

}  // namespace platform::gdi

using namespace platform::gdi;

void platform::SetScreenMode(int width, int height, int dpi) {
    Guard guard(DrawingLock());
    if (!SizeInRange(width, height) || dpi <= 0) {
        return;
    }
    // A new screen starts black, as a new bitmap does.
    ScreenState& screen = ScreenInfo();
    screen.bitmap.reset();
    screen.width = width;
    screen.height = height;
    screen.dpi = dpi;
}

int platform::ScreenWidth() {
    Guard guard(DrawingLock());
    return ScreenInfo().width;
}

int platform::ScreenHeight() {
    Guard guard(DrawingLock());
    return ScreenInfo().height;
}

int platform::ScreenDpi() {
    Guard guard(DrawingLock());
    return ScreenInfo().dpi;
}

bool platform::ScreenModeFromEnvironment(int* width, int* height, int* dpi, std::string* error) {
    const char* text = std::getenv("PATHLUME_SCREEN");
    if (!text)
        return true;
    // Each number whole and in range: one too large for an int must not wrap into a
    // screen a program serves.
    int values[3] = {};
    const int limits[3] = {4096, 4096, 100000};
    const char separators[] = {'x', '@', 0};
    const char* at = text;
    const char* end = text + std::strlen(text);
    for (int i = 0; i < 3; ++i) {
        const auto [next, failure] = std::from_chars(at, end, values[i]);
        if (failure != std::errc() || next == at || values[i] < 1 || values[i] > limits[i] ||
            (separators[i] ? next == end || *next != separators[i] : next != end)) {
            *error = std::string("PATHLUME_SCREEN: ") + text + " is not WxH@DPI";
            return false;
        }
        at = next + 1;
    }
    *width = values[0];
    *height = values[1];
    *dpi = values[2];
    return true;
}

HDC platform::CreateScreenDC(HWND window, POINT origin, const RECT& clip) {
    Guard guard(DrawingLock());
    auto dc = std::make_shared<Dc>();
    InitState(dc->state);
    dc->window = window;
    dc->origin = origin;
    dc->screenClip = clip;
    return static_cast<HDC>(Insert(dc));
}

HDC platform::CreateScreenDC() {
    return CreateScreenDC(nullptr, POINT{0, 0}, RECT{0, 0, INT_MAX, INT_MAX});
}

HWND platform::WindowOfDC(HDC dcHandle) {
    Guard guard(DrawingLock());
    auto dc = LookupDc(dcHandle);
    return dc ? dc->window : nullptr;
}

HDC CreateCompatibleDC(HDC dcHandle) {
    Guard guard(DrawingLock());
    if (dcHandle && !LookupDc(dcHandle)) {
        return nullptr;
    }
    auto dc = std::make_shared<Dc>();
    dc->memory = true;
    InitState(dc->state);
    return static_cast<HDC>(Insert(dc));
}

BOOL DeleteDC(HDC dcHandle) {
    Guard guard(DrawingLock());
    auto dc = LookupDc(dcHandle);
    if (!dc) {
        return FALSE;
    }
    if (dc->state.bitmap->selectedInto == dc.get()) {
        dc->state.bitmap->selectedInto = nullptr;
    }
    dc->state.bitmap = StockBitmap();
    Remove(dcHandle);
    return TRUE;
}

int SaveDC(HDC dcHandle) {
    Guard guard(DrawingLock());
    auto dc = LookupDc(dcHandle);
    if (!dc) {
        return 0;
    }
    dc->saved.push_back(dc->state);
    return static_cast<int>(dc->saved.size());
}

BOOL RestoreDC(HDC dcHandle, int savedDC) {
    Guard guard(DrawingLock());
    auto dc = LookupDc(dcHandle);
    if (!dc) {
        return FALSE;
    }
    int depth = static_cast<int>(dc->saved.size());
    int level = savedDC < 0 ? depth + savedDC + 1 : savedDC;
    if (savedDC == 0 || level < 1 || level > depth) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DcState state = dc->saved[static_cast<size_t>(level - 1)];
    dc->saved.resize(static_cast<size_t>(level - 1));
    auto bitmap = state.bitmap;
    state.bitmap = dc->state.bitmap;
    dc->state = state;
    if (dc->memory) {
        // When the saved bitmap went into another DC meanwhile, the current one stays.
        SelectBitmap(*dc, bitmap);
    }
    return TRUE;
}

int GetDeviceCaps(HDC dcHandle, int index) {
    Guard guard(DrawingLock());
    if (!LookupDc(dcHandle)) {
        return 0;
    }
    // Every DC reports the screen's figures, as memory DCs do on the platform.
    const ScreenState& screen = ScreenInfo();
    switch (index) {
        case HORZRES:
            return screen.width;
        case VERTRES:
            return screen.height;
        case LOGPIXELSX:
        case LOGPIXELSY:
            return screen.dpi;
        case HORZSIZE:
            return static_cast<int>(std::lround(screen.width * 25.4 / screen.dpi));
        case VERTSIZE:
            return static_cast<int>(std::lround(screen.height * 25.4 / screen.dpi));
        case BITSPIXEL:
            return 32;
        case PLANES:
            return 1;
        default:
            return 0;
    }
}

int SetBkMode(HDC dcHandle, int mode) {
    Guard guard(DrawingLock());
    auto dc = LookupDc(dcHandle);
    if (!dc) {
        return 0;
    }
    if (mode != TRANSPARENT && mode != OPAQUE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    int previous = dc->state.bkMode;
    dc->state.bkMode = mode;
    return previous;
}

int GetBkMode(HDC dcHandle) {
    Guard guard(DrawingLock());
    auto dc = LookupDc(dcHandle);
    return dc ? dc->state.bkMode : 0;
}

COLORREF SetBkColor(HDC dcHandle, COLORREF color) {
    Guard guard(DrawingLock());
    auto dc = LookupDc(dcHandle);
    if (!dc) {
        return CLR_INVALID;
    }
    COLORREF previous = dc->state.bkColor;
    dc->state.bkColor = color & 0xFFFFFF;
    return previous;
}

COLORREF GetBkColor(HDC dcHandle) {
    Guard guard(DrawingLock());
    auto dc = LookupDc(dcHandle);
    return dc ? dc->state.bkColor : CLR_INVALID;
}

COLORREF SetTextColor(HDC dcHandle, COLORREF color) {
    Guard guard(DrawingLock());
    auto dc = LookupDc(dcHandle);
    if (!dc) {
        return CLR_INVALID;
    }
    COLORREF previous = dc->state.textColor;
    dc->state.textColor = color & 0xFFFFFF;
    return previous;
}

COLORREF GetTextColor(HDC dcHandle) {
    Guard guard(DrawingLock());
    auto dc = LookupDc(dcHandle);
    return dc ? dc->state.textColor : CLR_INVALID;
}

int SetROP2(HDC dcHandle, int mode) {
    Guard guard(DrawingLock());
    auto dc = LookupDc(dcHandle);
    if (!dc) {
        return 0;
    }
    if (mode < R2_BLACK || mode > R2_WHITE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    int previous = dc->state.rop2;
    dc->state.rop2 = mode;
    return previous;
}

int GetROP2(HDC dcHandle) {
    Guard guard(DrawingLock());
    auto dc = LookupDc(dcHandle);
    return dc ? dc->state.rop2 : 0;
}

BOOL SetBrushOrgEx(HDC dcHandle, int x, int y, LPPOINT previous) {
    Guard guard(DrawingLock());
    auto dc = LookupDc(dcHandle);
    if (!dc) {
        return FALSE;
    }
    if (previous) {
        *previous = dc->state.brushOrigin;
    }
    dc->state.brushOrigin = {x, y};
    return TRUE;
}
