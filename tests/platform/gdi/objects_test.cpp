// Objects and DCs: DIB section layouts, selection and deletion, saved states, screen
// DCs and PNG output.
#include <cairo.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "platform/gdi/gdi.h"
#include "tests/platform/gdi/surface.h"
#include "tests/support/test_files.h"

namespace {

using gdi_testing::kBlack;
using gdi_testing::kBlue;
using gdi_testing::kRed;
using gdi_testing::kWhite;
using gdi_testing::Selected;
using gdi_testing::Surface;

struct DibInfo {
    BITMAPINFOHEADER header;
    DWORD masks[3];
};

HBITMAP MakeDib(int width, int height, int bits, DWORD compression, const DWORD* masks,
                void** data) {
    DibInfo info{};
    info.header = {sizeof(BITMAPINFOHEADER),
                   width,
                   height,
                   1,
                   static_cast<WORD>(bits),
                   compression,
                   0,
                   0,
                   0,
                   0,
                   0};
    if (masks) {
        std::memcpy(info.masks, masks, sizeof(info.masks));
    }
    return CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS,
                            data, nullptr, 0);
}

TEST(Dib, EveryLayoutStoresPixelsWhereItsFormatSays) {
    const DWORD masks565[] = {0xF800, 0x07E0, 0x001F};
    struct Case {
        const char* name;
        int bits;
        DWORD compression;
        const DWORD* masks;
        int widthBytes;  // for a width of 5
        COLORREF drawn;
        COLORREF stored;  // what the format keeps of it
    };
    const Case cases[] = {
        {"16-bit 5-5-5", 16, BI_RGB, nullptr, 12, RGB(0xFF, 0x80, 0x08), RGB(0xFF, 0x84, 0x08)},
        {"16-bit 5-6-5", 16, BI_BITFIELDS, masks565, 12, RGB(0xFF, 0x80, 0x08),
         RGB(0xFF, 0x82, 0x08)},
        {"24-bit", 24, BI_RGB, nullptr, 16, RGB(0x12, 0x34, 0x56), RGB(0x12, 0x34, 0x56)},
        {"32-bit", 32, BI_RGB, nullptr, 20, RGB(0x12, 0x34, 0x56), RGB(0x12, 0x34, 0x56)},
    };
    for (const Case& c : cases) {
        for (int topDown = 0; topDown < 2; ++topDown) {
            SCOPED_TRACE(std::string(c.name) + (topDown ? " top-down" : " bottom-up"));
            void* data = nullptr;
            HBITMAP dib = MakeDib(5, topDown ? -3 : 3, c.bits, c.compression, c.masks, &data);
            ASSERT_NE(dib, nullptr);
            ASSERT_NE(data, nullptr);
            DIBSECTION ds{};
            ASSERT_EQ(GetObjectW(dib, sizeof(ds), &ds), static_cast<int>(sizeof(DIBSECTION)));
            EXPECT_EQ(ds.dsBm.bmWidthBytes, c.widthBytes);
            EXPECT_EQ(ds.dsBm.bmHeight, 3);
            EXPECT_EQ(ds.dsBm.bmBitsPixel, c.bits);
            EXPECT_EQ(ds.dsBm.bmBits, data);
            EXPECT_EQ(ds.dsBmih.biHeight, topDown ? -3 : 3);
            BITMAP bm{};
            EXPECT_EQ(GetObjectW(dib, sizeof(bm), &bm), static_cast<int>(sizeof(BITMAP)));
            EXPECT_EQ(bm.bmWidthBytes, c.widthBytes);

            HDC dc = CreateCompatibleDC(nullptr);
            HGDIOBJ old = SelectObject(dc, dib);
            // Fresh sections are zeroed, that is black.
            EXPECT_EQ(GetPixel(dc, 4, 2), kBlack);
            EXPECT_EQ(SetPixel(dc, 1, 0, c.drawn), c.stored);
            EXPECT_EQ(GetPixel(dc, 1, 0), c.stored);

            // Row 0 of the picture is the first row in memory only when top-down.
            const auto* bytes = static_cast<const uint8_t*>(data);
            const int row = topDown ? 0 : 2;
            const uint8_t* pixel = bytes + row * c.widthBytes + 1 * (c.bits / 8);
            if (c.bits >= 24) {
                EXPECT_EQ(pixel[0], GetBValue(c.drawn));
                EXPECT_EQ(pixel[1], GetGValue(c.drawn));
                EXPECT_EQ(pixel[2], GetRValue(c.drawn));
            } else {
                const unsigned v = pixel[0] | (pixel[1] << 8);
                const unsigned expect = c.masks
                                            ? (0xFF >> 3) << 11 | (0x80 >> 2) << 5 | (0x08 >> 3)
                                            : (0xFF >> 3) << 10 | (0x80 >> 3) << 5 | (0x08 >> 3);
                EXPECT_EQ(v, expect);
            }
            // What the program writes into the bits is seen by the next call.
            std::memset(static_cast<uint8_t*>(data) + (topDown ? 2 : 0) * c.widthBytes, 0xFF,
                        static_cast<size_t>(c.widthBytes));
            EXPECT_EQ(GetPixel(dc, 0, 2), kWhite);
            EXPECT_EQ(GetPixel(dc, 0, 1), kBlack);

            SelectObject(dc, old);
            DeleteDC(dc);
            EXPECT_TRUE(DeleteObject(dib));
        }
    }
}

TEST(Dib, UnsupportedLayoutsAreRefused) {
    const DWORD oddMasks[] = {0x00F0, 0x000F, 0xF000};
    void* data = reinterpret_cast<void*>(1);
    EXPECT_EQ(MakeDib(4, 4, 8, BI_RGB, nullptr, &data), nullptr);
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(MakeDib(4, 4, 16, BI_BITFIELDS, oddMasks, &data), nullptr);
    EXPECT_EQ(MakeDib(4, 4, 24, BI_BITFIELDS, oddMasks, &data), nullptr);
    EXPECT_EQ(MakeDib(0, 4, 24, BI_RGB, nullptr, &data), nullptr);
    EXPECT_EQ(MakeDib(4, 0, 24, BI_RGB, nullptr, &data), nullptr);
    EXPECT_EQ(MakeDib(100000, 100000, 32, BI_RGB, nullptr, &data), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

// The blend of the program's own 24-bit working copies: BitBlt into bottom-up sections,
// mix the bytes, BitBlt the result back.
TEST(Dib, TwentyFourBitWorkingCopiesRoundTripThroughBitBlt) {
    Surface screen(6, 4, RGB(10, 20, 30));
    SetPixel(screen.dc(), 5, 3, RGB(200, 100, 50));
    void* bits = nullptr;
    HBITMAP copy = MakeDib(6, 4, 24, BI_RGB, nullptr, &bits);
    HDC dc = CreateCompatibleDC(screen.dc());
    HGDIOBJ old = SelectObject(dc, copy);
    BitBlt(dc, 0, 0, 6, 4, screen.dc(), 0, 0, SRCCOPY);
    BITMAP bm{};
    GetObjectW(copy, sizeof(bm), &bm);
    auto* bytes = static_cast<uint8_t*>(bits);
    // Bottom-up: picture row 3 is memory row 0; bytes are blue, green, red.
    EXPECT_EQ(bytes[5 * 3 + 0], 50);
    EXPECT_EQ(bytes[5 * 3 + 1], 100);
    EXPECT_EQ(bytes[5 * 3 + 2], 200);
    EXPECT_EQ(bytes[bm.bmWidthBytes * 3], 30);
    for (int i = 0; i < bm.bmWidthBytes * 4; ++i) {
        bytes[i] = static_cast<uint8_t>(bytes[i] / 2);
    }
    BitBlt(screen.dc(), 0, 0, 6, 4, dc, 0, 0, SRCCOPY);
    EXPECT_EQ(screen.At(5, 3), RGB(100, 50, 25));
    EXPECT_EQ(screen.At(0, 0), RGB(5, 10, 15));
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(copy);
}

TEST(Objects, SelectionDeletionAndLeaks) {
    const int before = platform::CountGdiObjects();
    {
        Surface s(4, 4);
        HBITMAP other = CreateCompatibleBitmap(s.dc(), 2, 2);
        // A bitmap drawn into by one DC cannot be selected into another or deleted.
        HDC second = CreateCompatibleDC(nullptr);
        EXPECT_EQ(SelectObject(second, s.bitmap()), nullptr);
        EXPECT_FALSE(DeleteObject(s.bitmap()));
        EXPECT_NE(SelectObject(second, other), nullptr);
        EXPECT_EQ(GetCurrentObject(second, OBJ_BITMAP), other);
        EXPECT_EQ(GetObjectType(second), static_cast<DWORD>(OBJ_MEMDC));
        EXPECT_EQ(GetObjectType(other), static_cast<DWORD>(OBJ_BITMAP));
        DeleteDC(second);
        EXPECT_TRUE(DeleteObject(other));
        EXPECT_FALSE(DeleteObject(other));

        // A pen deleted while selected keeps drawing until it is replaced.
        HPEN pen = CreatePen(PS_SOLID, 1, kRed);
        HGDIOBJ old = SelectObject(s.dc(), pen);
        EXPECT_TRUE(DeleteObject(pen));
        MoveToEx(s.dc(), 0, 0, nullptr);
        LineTo(s.dc(), 4, 0);
        EXPECT_EQ(s.At(2, 0), kRed);
        SelectObject(s.dc(), old);

        // Stock objects survive deletion; width and height 0 give a 1 x 1 bitmap.
        EXPECT_TRUE(DeleteObject(GetStockObject(BLACK_PEN)));
        EXPECT_NE(GetStockObject(BLACK_PEN), nullptr);
        EXPECT_EQ(GetStockObject(9), nullptr);
        HBITMAP tiny = CreateCompatibleBitmap(s.dc(), 0, 5);
        BITMAP bm{};
        GetObjectW(tiny, sizeof(bm), &bm);
        EXPECT_EQ(bm.bmWidth, 1);
        EXPECT_EQ(bm.bmBitsPixel, 32);
        EXPECT_EQ(bm.bmWidthBytes, 4);
        DeleteObject(tiny);
        LOGPEN log{};
        EXPECT_EQ(GetObjectW(GetStockObject(WHITE_PEN), sizeof(log), &log),
                  static_cast<int>(sizeof(LOGPEN)));
        EXPECT_EQ(log.lopnColor, kWhite);
        EXPECT_EQ(GetObjectW(GetStockObject(WHITE_PEN), 2, &log), 0);
        EXPECT_EQ(CreatePen(7, 1, kRed), nullptr);
    }
    EXPECT_EQ(platform::CountGdiObjects(), before);
}

TEST(Objects, RestoreDCBringsBackTheSavedState) {
    Surface s(4, 4);
    HPEN red = CreatePen(PS_SOLID, 1, kRed);
    const int level = SaveDC(s.dc());
    EXPECT_GE(level, 1);
    HGDIOBJ oldPen = SelectObject(s.dc(), red);
    SetTextColor(s.dc(), kBlue);
    SetBkMode(s.dc(), TRANSPARENT);
    SetROP2(s.dc(), R2_XORPEN);
    SaveDC(s.dc());
    SetTextColor(s.dc(), kRed);
    HBITMAP other = CreateCompatibleBitmap(s.dc(), 2, 2);
    SelectObject(s.dc(), other);

    EXPECT_TRUE(RestoreDC(s.dc(), -1));
    EXPECT_EQ(GetTextColor(s.dc()), kBlue);
    EXPECT_EQ(GetCurrentObject(s.dc(), OBJ_BITMAP), s.bitmap());
    EXPECT_TRUE(DeleteObject(other));  // no longer selected

    EXPECT_TRUE(RestoreDC(s.dc(), level));
    EXPECT_EQ(GetCurrentObject(s.dc(), OBJ_PEN), oldPen);
    EXPECT_EQ(GetTextColor(s.dc()), kBlack);
    EXPECT_EQ(GetBkMode(s.dc()), OPAQUE);
    EXPECT_EQ(GetROP2(s.dc()), R2_COPYPEN);
    EXPECT_FALSE(RestoreDC(s.dc(), -1));
    EXPECT_FALSE(RestoreDC(s.dc(), 0));
    EXPECT_TRUE(DeleteObject(red));
}

TEST(Objects, ScreenDCsDrawAtTheirOriginAndStayInsideTheirClip) {
    platform::SetScreenMode(480, 640, 192);
    HDC whole = platform::CreateScreenDC();
    EXPECT_EQ(GetDeviceCaps(whole, HORZRES), 480);
    EXPECT_EQ(GetDeviceCaps(whole, VERTRES), 640);
    EXPECT_EQ(GetDeviceCaps(whole, LOGPIXELSY), 192);
    HDC memory = CreateCompatibleDC(nullptr);
    EXPECT_EQ(GetDeviceCaps(memory, LOGPIXELSX), 192);
    DeleteDC(memory);

    HWND window = reinterpret_cast<HWND>(0x1234);
    HDC dc = platform::CreateScreenDC(window, POINT{100, 50}, RECT{100, 50, 110, 60});
    EXPECT_EQ(platform::WindowOfDC(dc), window);
    HBRUSH red = CreateSolidBrush(kRed);
    const RECT big{-20, -20, 40, 40};
    FillRect(dc, &big, red);
    EXPECT_EQ(GetPixel(whole, 100, 50), kRed);
    EXPECT_EQ(GetPixel(whole, 109, 59), kRed);
    EXPECT_EQ(GetPixel(whole, 110, 59), kBlack);
    EXPECT_EQ(GetPixel(whole, 99, 50), kBlack);
    EXPECT_EQ(GetPixel(dc, 0, 0), kRed);
    EXPECT_EQ(GetPixel(dc, 10, 0), CLR_INVALID);
    DeleteObject(red);
    DeleteDC(dc);
    DeleteDC(whole);
    platform::SetScreenMode(240, 320, 96);
}

TEST(Objects, ThreadsMayDrawAtTheSameTime) {
    // The map is drawn on a worker thread while the screens draw on the interface
    // thread: objects are made, drawn with and deleted on both at once.
    const int before = platform::CountGdiObjects();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 50; ++i) {
                Surface s(32, 16);
                LOGFONTW log{};
                log.lfHeight = 10 + (i + t) % 8;
                const char16_t face[] = u"Tahoma";
                std::copy(std::begin(face), std::end(face), log.lfFaceName);
                Selected font(s.dc(), CreateFontIndirectW(&log));
                Selected pen(s.dc(), CreatePen(PS_SOLID, 1 + i % 4, RGB(t, i, 0)));
                ExtTextOutW(s.dc(), 0, 0, 0, nullptr, u"Road", 4, nullptr);
                MoveToEx(s.dc(), 0, 8, nullptr);
                LineTo(s.dc(), 31, 8);
                ASSERT_EQ(s.At(16, 8), RGB(t, i, 0));
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(platform::CountGdiObjects(), before);
}

// The host's window draws the screen straight into its own surface this way.
TEST(Objects, ABitmapOnTheCallersMemoryDrawsIntoIt) {
    const int before = platform::CountGdiObjects();
    // Three pixels a row in rows of four: the stride is the caller's.
    std::vector<uint32_t> pixels(4 * 3, 0xDEADBEEF);
    HBITMAP bitmap = platform::CreateBitmapOnMemory(pixels.data(), 3, 3, 16);
    ASSERT_NE(bitmap, nullptr);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bitmap);
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    const RECT rect{1, 1, 3, 3};
    FillRect(dc, &rect, brush);
    DeleteObject(brush);
    EXPECT_EQ(GetPixel(dc, 0, 0), 0xEFBEADu);  // what the memory held, read as a colour
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bitmap);
    EXPECT_EQ(pixels[4 + 1] & 0xFFFFFF, 0x010203u);
    EXPECT_EQ(pixels[8 + 2] & 0xFFFFFF, 0x010203u);
    EXPECT_EQ(pixels[0], 0xDEADBEEFu);
    EXPECT_EQ(pixels[4 + 3], 0xDEADBEEFu);  // beyond the row's pixels
    EXPECT_EQ(platform::CountGdiObjects(), before);

    // Refused: no memory, rows narrower than the width, a stride not of whole pixels.
    EXPECT_EQ(platform::CreateBitmapOnMemory(nullptr, 3, 3, 16), nullptr);
    EXPECT_EQ(platform::CreateBitmapOnMemory(pixels.data(), 3, 3, 8), nullptr);
    EXPECT_EQ(platform::CreateBitmapOnMemory(pixels.data(), 3, 3, 14), nullptr);
    EXPECT_EQ(platform::CreateBitmapOnMemory(pixels.data(), 0, 3, 16), nullptr);
}

TEST(Objects, AnySurfaceCanBeWrittenAsPng) {
    Surface s(3, 2, kBlue);
    SetPixel(s.dc(), 2, 1, RGB(1, 2, 3));
    const auto path =
        std::filesystem::temp_directory_path() /
        ("gdi_png_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + ".png");
    ASSERT_TRUE(platform::SaveDCAsPng(s.dc(), path));
    cairo_surface_t* read = cairo_image_surface_create_from_png(path.c_str());
    ASSERT_EQ(cairo_surface_status(read), CAIRO_STATUS_SUCCESS);
    EXPECT_EQ(cairo_image_surface_get_width(read), 3);
    EXPECT_EQ(cairo_image_surface_get_height(read), 2);
    const auto* row = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(read) +
                                                        cairo_image_surface_get_stride(read));
    EXPECT_EQ(row[2] & 0xFFFFFF, 0x010203u);
    EXPECT_EQ(row[0] & 0xFFFFFF, 0x0000FFu);
    cairo_surface_destroy(read);
    std::filesystem::remove(path);

    // Every pixel of a wider picture comes back as it was drawn.
    Surface wide(37, 5, kBlue);
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 37; ++x) {
            SetPixel(wide.dc(), x, y, RGB(x * 7, 255 - x * 5 - y, y * 60 + (x & 1)));
        }
    }
    ASSERT_TRUE(platform::SaveDCAsPng(wide.dc(), path));
    read = cairo_image_surface_create_from_png(path.c_str());
    ASSERT_EQ(cairo_surface_status(read), CAIRO_STATUS_SUCCESS);
    for (int y = 0; y < 5; ++y) {
        const auto* pixels = reinterpret_cast<const uint32_t*>(
            cairo_image_surface_get_data(read) + y * cairo_image_surface_get_stride(read));
        for (int x = 0; x < 37; ++x) {
            const uint32_t drawn = GetPixel(wide.dc(), x, y);
            const uint32_t expected =
                (GetRValue(drawn) << 16) | (GetGValue(drawn) << 8) | GetBValue(drawn);
            ASSERT_EQ(pixels[x] & 0xFFFFFF, expected) << x << "," << y;
        }
    }
    cairo_surface_destroy(read);
    std::filesystem::remove(path);
    // A file of the user's that happens to bear a writer's usual temporary name is
    // not the writer's to truncate or remove.
    const std::string users = path.string() + ".part";
    std::ofstream(users) << "the user's";
    EXPECT_TRUE(platform::SaveBitmapAsPng(s.bitmap(), path));
    std::filesystem::remove(path);
    EXPECT_EQ(std::filesystem::file_size(users), 10u);
    std::filesystem::remove(users);
    EXPECT_FALSE(platform::SaveDCAsPng(s.dc(), "/nonexistent-folder/x.png"));

    // A target that cannot be replaced keeps what it held, and no part file is left.
    const auto occupied = std::filesystem::path(path).replace_extension(".dir");
    std::filesystem::create_directory(occupied);
    std::ofstream(occupied / "kept") << "kept";
    EXPECT_FALSE(platform::SaveDCAsPng(s.dc(), occupied));
    EXPECT_TRUE(std::filesystem::exists(occupied / "kept"));
    EXPECT_FALSE(testing_support::PartFileBeside(occupied));
    std::filesystem::remove_all(occupied);
}

}  // namespace

TEST(Objects, MadeStockObjectsAreNotCountedAndSurviveDeletion) {
    const int before = platform::CountGdiObjects();
    HBRUSH brush = CreateSolidBrush(kRed);
    LOGFONTW logFont{};
    logFont.lfHeight = 12;
    HFONT font = CreateFontIndirectW(&logFont);
    ASSERT_NE(brush, nullptr);
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(platform::CountGdiObjects(), before + 2);
    EXPECT_TRUE(platform::MakeStockObject(brush));
    EXPECT_TRUE(platform::MakeStockObject(brush));  // a second call changes no count
    EXPECT_TRUE(platform::MakeStockObject(font));
    EXPECT_EQ(platform::CountGdiObjects(), before);
    EXPECT_TRUE(DeleteObject(brush));
    LOGBRUSH log{};
    EXPECT_EQ(GetObjectW(brush, sizeof(log), &log), static_cast<int>(sizeof(LOGBRUSH)));
    EXPECT_EQ(log.lbColor, kRed);
    EXPECT_EQ(platform::CountGdiObjects(), before);

    // Only pens, brushes and fonts can be made stock: a bitmap or DC keeps its count.
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, 2, 2);
    SetLastError(0);
    EXPECT_FALSE(platform::MakeStockObject(bitmap));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(platform::MakeStockObject(dc));
    EXPECT_FALSE(platform::MakeStockObject(nullptr));
    EXPECT_TRUE(DeleteObject(bitmap));
    DeleteDC(dc);
    EXPECT_EQ(platform::CountGdiObjects(), before);
}
