#include "screen_test_support.h"
#include "tests/support/shared_data.h"

#include <cairo/cairo.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/foundation/screen_draw.h"
#include "platform/kernel/msgbox.h"
#include "platform/user/dialogs.h"

namespace screen_testing {

namespace {

std::filesystem::path GoldenFolder() {
    return testing_support::RepositoryFolder() / "tests" / "foundation" / "golden";
}

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;  // XRGB
};

bool ReadPng(const std::filesystem::path& path, Picture* picture) {
    cairo_surface_t* surface = cairo_image_surface_create_from_png(path.c_str());
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return false;
    }
    cairo_surface_flush(surface);
    picture->width = cairo_image_surface_get_width(surface);
    picture->height = cairo_image_surface_get_height(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    picture->pixels.resize(static_cast<size_t>(picture->width) * picture->height);
    for (int y = 0; y < picture->height; ++y) {
        std::memcpy(&picture->pixels[static_cast<size_t>(y) * picture->width],
                    data + static_cast<ptrdiff_t>(y) * stride,
                    static_cast<size_t>(picture->width) * 4);
    }
    cairo_surface_destroy(surface);
    return true;
}

bool FarApart(uint32_t a, uint32_t b) {
    for (int shift = 0; shift <= 16; shift += 8) {
        int ca = static_cast<int>((a >> shift) & 0xFF);
        int cb = static_cast<int>((b >> shift) & 0xFF);
        if (std::abs(ca - cb) > 32) {
            return true;
        }
    }
    return false;
}

}  // namespace

void CreateProgramFonts() {
    DeleteProgramFonts();
    CreateScaledFont(&g_fontBold21, 21, FW_BOLD, nullptr);
    CreateScaledFont(&g_fontBold18, 18, FW_BOLD, nullptr);
    CreateScaledFont(&g_fontBold14, 14, FW_BOLD, nullptr);
    CreateScaledFont(&g_fontRegular14, 14, FW_NORMAL, nullptr);
    CreateScaledFont(&g_fontBold12, 12, FW_BOLD, nullptr);
    CreateScaledFont(&g_fontRegular12, 12, FW_NORMAL, nullptr);
}

void DeleteProgramFonts() {
    for (CFont* font : {&g_fontBold21, &g_fontBold18, &g_fontBold14, &g_fontRegular14,
                        &g_fontBold12, &g_fontRegular12}) {
        font->DeleteObject();
    }
}

void CleanUpThread() {
    std::vector<HWND> mine;
    for (HWND w = GetWindow(GetDesktopWindow(), GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT)) {
        if (GetWindowThreadProcessId(w, nullptr) == GetCurrentThreadId()) {
            mine.push_back(w);
        }
    }
    for (HWND w : mine) {
        DestroyWindow(w);
    }
    platform::DiscardPendingInput();
    platform::PumpUntilIdle();
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
    AfxDeleteTempObjects();
}

BOOL CommandParent::Make() {
    return CreateEx(0, AfxRegisterWndClass(0), u"", WS_POPUP | WS_VISIBLE, 0, 0, 240, 320, nullptr,
                    nullptr);
}

BOOL CommandParent::OnCommand(WPARAM wParam, LPARAM lParam) {
    commands.push_back({wParam, lParam});
    return TRUE;
}

void ScreenTest::SetUp() {
    platform::SetScreenMode(240, 320, 96);
    g_screenScaleX.store(1.0f);
    g_screenScaleY.store(1.0f);
    g_screenWidth.store(240);
    g_screenHeight.store(320);
    g_colorMode.store(0);
    g_homeKeyPressed.store(0);
    g_map3DMode.store(0);
    CreateProgramFonts();
    CleanUpThread();
}

void DrawOwnBoxes(bool on) {
    platform::UseDrawnMessageBox(on);
    platform::SetMessageBoxHandler(nullptr);
}

void ScreenTest::TearDown() {
    CleanUpThread();
    DeleteProgramFonts();
    g_colorMode.store(0);
    g_homeKeyPressed.store(0);
    g_map3DMode.store(0);
}

std::filesystem::path ScreenOutputFolder() {
    std::error_code error;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    std::filesystem::path folder =
        (error ? std::filesystem::current_path() : exe.parent_path()) / "foundation_screens";
    std::filesystem::create_directories(folder, error);
    return folder;
}

testing::AssertionResult ScreenMatchesGolden(const std::string& name) {
    return ScreenMatchesGolden(GoldenFolder(), name);
}

testing::AssertionResult ScreenMatchesGolden(const std::filesystem::path& goldenFolder,
                                             const std::string& name) {
    std::filesystem::path actualPath = ScreenOutputFolder() / (name + ".png");
    HDC screen = GetDC(nullptr);
    bool saved = platform::SaveDCAsPng(screen, actualPath);
    ReleaseDC(nullptr, screen);
    if (!saved) {
        return testing::AssertionFailure() << "cannot write " << actualPath;
    }
    std::filesystem::path goldenPath = goldenFolder / (name + ".png");
    const char* update = std::getenv("PATHLUME_UPDATE_GOLDEN");
    if (update != nullptr && std::strcmp(update, "1") == 0) {
        std::filesystem::copy_file(actualPath, goldenPath,
                                   std::filesystem::copy_options::overwrite_existing);
        return testing::AssertionSuccess() << "golden rewritten";
    }
    Picture actual;
    Picture golden;
    if (!ReadPng(actualPath, &actual)) {
        return testing::AssertionFailure() << "cannot read " << actualPath;
    }
    if (!ReadPng(goldenPath, &golden)) {
        return testing::AssertionFailure()
               << "no golden " << goldenPath << " (run with PATHLUME_UPDATE_GOLDEN=1 to make it)";
    }
    if (actual.width != golden.width || actual.height != golden.height) {
        return testing::AssertionFailure()
               << "size " << actual.width << "x" << actual.height << " differs from the golden's "
               << golden.width << "x" << golden.height;
    }
    size_t differing = 0;
    for (size_t i = 0; i < actual.pixels.size(); ++i) {
        differing += FarApart(actual.pixels[i], golden.pixels[i]) ? 1 : 0;
    }
    if (differing * 100 > actual.pixels.size()) {
        return testing::AssertionFailure()
               << differing << " of " << actual.pixels.size() << " pixels differ from "
               << goldenPath << "; see " << actualPath;
    }
    return testing::AssertionSuccess();
}

}  // namespace screen_testing
