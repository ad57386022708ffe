// Resource modules: the string table, bitmaps and icons of each screen set, and the
// navigation program's artwork against the rules the screens draw it by.
#include <cairo.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <regex>
#include <string>

#include "platform/gdi/gdi.h"
#include "platform/gdi/resource_module.h"
#include "platform/kernel/process.h"
#include "tests/platform/gdi/surface.h"
#include "tests/support/shared_data.h"

namespace {

using gdi_testing::kBlue;
using gdi_testing::kRed;
using gdi_testing::kWhite;
using gdi_testing::Surface;

// Switches the screen to VGA for one scope.
class VgaScreen {
  public:
    VgaScreen() { platform::SetScreenMode(480, 640, 192); }
    ~VgaScreen() { platform::SetScreenMode(240, 320, 96); }
};

TEST(Resources, LoadStringCopiesTruncatesAndReportsMissingStrings) {
    WCHAR buffer[64];
    EXPECT_EQ(LoadStringW(nullptr, 1, buffer, 64), 5);
    EXPECT_EQ(std::u16string(buffer), u"Hello");
    EXPECT_EQ(LoadStringW(platform::MainResourceInstance(), 1, buffer, 64), 5);
    // The program's own instance stands for its resources too.
    EXPECT_EQ(LoadStringW(platform::ProgramInstance(), 1, buffer, 64), 5);

    // Truncated to the buffer, always terminated.
    EXPECT_EQ(LoadStringW(nullptr, 1, buffer, 3), 2);
    EXPECT_EQ(std::u16string(buffer), u"He");
    EXPECT_EQ(LoadStringW(nullptr, 1, buffer, 1), 0);
    EXPECT_EQ(buffer[0], 0);

    struct Case {
        UINT id;
        std::u16string text;
    };
    const Case cases[] = {
        {2, u"Zürich – Straße"},
        {4, u"tab\there; [brackets] \"quoted\" back\\slash"},
        {5, u"line one\nline two"},
        {65535, u"last id"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LoadStringW(nullptr, c.id, buffer, 64), static_cast<int>(c.text.size()));
        EXPECT_EQ(std::u16string(buffer), c.text) << c.id;
    }

    // Missing and empty strings do not exist; the buffer is left empty.
    for (UINT id : {0u, 3u, 6u, 6000u, 70000u}) {
        buffer[0] = u'x';
        EXPECT_EQ(LoadStringW(nullptr, id, buffer, 64), 0) << id;
        EXPECT_EQ(buffer[0], 0);
    }

    // With no buffer size the read-only string itself is handed out.
    LPCWSTR direct = nullptr;
    EXPECT_EQ(LoadStringW(nullptr, 2, reinterpret_cast<LPWSTR>(&direct), 0), 15);
    EXPECT_EQ(std::u16string(direct, 15), u"Zürich – Straße");

    // The navigation program's module has its own table.
    EXPECT_EQ(LoadStringW(platform::ResourceInstance("pathlume"), 1, buffer, 64), 0);
    EXPECT_EQ(platform::ResourceInstance("no such module"), nullptr);
}

TEST(Resources, BitmapsComeFromTheScreensSet) {
    struct Case {
        bool vga;
        int scale;
    };
    for (const Case& c : {Case{false, 1}, Case{true, 2}}) {
        std::unique_ptr<VgaScreen> vga(c.vga ? new VgaScreen : nullptr);
        HBITMAP bitmap = LoadBitmapW(nullptr, MAKEINTRESOURCEW(100));
        ASSERT_NE(bitmap, nullptr);
        BITMAP bm{};
        GetObjectW(bitmap, sizeof(bm), &bm);
        EXPECT_EQ(bm.bmWidth, 8 * c.scale);
        EXPECT_EQ(bm.bmHeight, 4 * c.scale);
        HDC dc = CreateCompatibleDC(nullptr);
        HGDIOBJ old = SelectObject(dc, bitmap);
        EXPECT_EQ(GetPixel(dc, 0, 0), kRed);
        EXPECT_EQ(GetPixel(dc, 4 * c.scale - 1, 4 * c.scale - 1), kRed);
        EXPECT_EQ(GetPixel(dc, 4 * c.scale, 0), kBlue);
        EXPECT_EQ(GetPixel(dc, 8 * c.scale - 1, 4 * c.scale - 1), kBlue);
        SelectObject(dc, old);
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
}

TEST(Resources, LoadImageStretchesBitmapsToExactColoursAndMissingIdsFail) {
    HBITMAP bitmap = static_cast<HBITMAP>(
        LoadImageW(nullptr, MAKEINTRESOURCEW(101), IMAGE_BITMAP, 12, 3, LR_DEFAULTCOLOR));
    ASSERT_NE(bitmap, nullptr);
    BITMAP bm{};
    GetObjectW(bitmap, sizeof(bm), &bm);
    EXPECT_EQ(bm.bmWidth, 12);
    EXPECT_EQ(bm.bmHeight, 3);
    Surface s(12, 3, RGB(0, 128, 0));
    // The key colour survives the stretch exactly.
    TransparentImage(s.dc(), 0, 0, 12, 3, bitmap, 0, 0, 12, 3, kWhite);
    EXPECT_EQ(s.Count(RGB(0, 0, 0)), 4 * 1) << s.Picture(RGB(0, 0, 0));
    EXPECT_EQ(s.Count(RGB(0, 128, 0)), 36 - 4);
    DeleteObject(bitmap);

    SetLastError(0);
    EXPECT_EQ(LoadBitmapW(nullptr, MAKEINTRESOURCEW(102)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(LoadBitmapW(nullptr, u"HALVES"), nullptr);
    EXPECT_EQ(LoadIconW(nullptr, MAKEINTRESOURCEW(101)), nullptr);  // a bitmap, not an icon
    EXPECT_EQ(LoadImageW(nullptr, MAKEINTRESOURCEW(100), 7, 0, 0, 0), nullptr);
    EXPECT_EQ(LoadBitmapW(reinterpret_cast<HINSTANCE>(0x99), MAKEINTRESOURCEW(100)), nullptr);
}

TEST(Resources, IconsKeepTheirTransparencyAndScale) {
    Surface s(40, 40, kWhite);
    const int before = platform::CountGdiObjects();
    HICON icon = LoadIconW(nullptr, MAKEINTRESOURCEW(100));
    ASSERT_NE(icon, nullptr);
    EXPECT_TRUE(DrawIconEx(s.dc(), 2, 2, icon, 0, 0, 0, nullptr, DI_NORMAL));
    EXPECT_EQ(s.At(2 + 8, 2 + 8), RGB(0, 0xC0, 0));
    EXPECT_EQ(s.At(2, 2), kWhite);    // a transparent corner
    EXPECT_EQ(s.At(18, 10), kWhite);  // outside the 16 x 16 icon

    // Drawn at 32 x 32 it covers twice the distance.
    s.Fill(kWhite);
    EXPECT_TRUE(DrawIconEx(s.dc(), 0, 0, icon, 32, 32, 0, nullptr, DI_NORMAL));
    EXPECT_EQ(s.At(16, 16), RGB(0, 0xC0, 0));
    EXPECT_EQ(s.At(16, 8), RGB(0, 0xC0, 0));
    EXPECT_EQ(s.At(1, 1), kWhite);
    EXPECT_TRUE(DestroyIcon(icon));
    EXPECT_FALSE(DestroyIcon(icon));

    // LoadImageW sizes icons; the VGA set holds them at twice the size.
    HICON sized = static_cast<HICON>(
        LoadImageW(nullptr, MAKEINTRESOURCEW(100), IMAGE_ICON, 24, 24, LR_DEFAULTCOLOR));
    ASSERT_NE(sized, nullptr);
    s.Fill(kWhite);
    DrawIconEx(s.dc(), 0, 0, sized, 0, 0, 0, nullptr, DI_NORMAL);
    EXPECT_EQ(s.At(12, 12), RGB(0, 0xC0, 0));
    EXPECT_EQ(s.At(30, 12), kWhite);
    EXPECT_FALSE(DeleteObject(sized));  // icons are destroyed, not deleted
    DestroyIcon(sized);
    EXPECT_EQ(platform::CountGdiObjects(), before);
}

// The navigation program's artwork, row by row of its table.
struct ArtworkRow {
    int id;
    std::string kind;
    int width;
    int height;
};

std::vector<ArtworkRow> ReadArtworkTable() {
    const auto path = testing_support::RepositoryFolder() / "pathlume" / "res" / "resources.md";
    std::ifstream in(path);
    std::vector<ArtworkRow> rows;
    const std::regex row(
        R"(^\|\s*(\d+)\s*\|\s*(bitmap|icon)\s*\|\s*\S+\s*\|\s*(\d+)\s*\|\s*(\d+)\s*\|)");
    for (std::string line; std::getline(in, line);) {
        std::smatch m;
        if (std::regex_search(line, m, row)) {
            rows.push_back({std::stoi(m[1]), m[2], std::stoi(m[3]), std::stoi(m[4])});
        }
    }
    return rows;
}

// A bitmap of the program's artwork in a memory DC.
class Artwork {
  public:
    explicit Artwork(int id) {
        bitmap_ = LoadBitmapW(platform::ResourceInstance("pathlume"), MAKEINTRESOURCEW(id));
        dc_ = CreateCompatibleDC(nullptr);
        if (bitmap_) {
            old_ = SelectObject(dc_, bitmap_);
            BITMAP bm{};
            GetObjectW(bitmap_, sizeof(bm), &bm);
            width_ = bm.bmWidth;
            height_ = bm.bmHeight;
        }
    }
    ~Artwork() {
        if (bitmap_) {
            SelectObject(dc_, old_);
            DeleteObject(bitmap_);
        }
        DeleteDC(dc_);
    }
    bool loaded() const { return bitmap_ != nullptr; }
    int width() const { return width_; }
    int height() const { return height_; }
    COLORREF At(int x, int y) const { return GetPixel(dc_, x, y); }

  private:
    HBITMAP bitmap_ = nullptr;
    HDC dc_ = nullptr;
    HGDIOBJ old_ = nullptr;
    int width_ = 0;
    int height_ = 0;
};

double Luminance(COLORREF c) {
    auto channel = [](int v) {
        const double s = v / 255.0;
        return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(GetRValue(c)) + 0.7152 * channel(GetGValue(c)) +
           0.0722 * channel(GetBValue(c));
}

TEST(Artwork, EveryImageOfTheTableLoadsAtItsSizeInBothSets) {
    const auto rows = ReadArtworkTable();
    ASSERT_GE(rows.size(), 7u);
    for (int scale : {1, 2}) {
        std::unique_ptr<VgaScreen> vga(scale == 2 ? new VgaScreen : nullptr);
        for (const ArtworkRow& row : rows) {
            SCOPED_TRACE(row.kind + " " + std::to_string(row.id) + " at scale " +
                         std::to_string(scale));
            if (row.kind == "icon") {
                HICON icon =
                    LoadIconW(platform::ResourceInstance("pathlume"), MAKEINTRESOURCEW(row.id));
                EXPECT_NE(icon, nullptr);
                DestroyIcon(icon);
                continue;
            }
            Artwork art(row.id);
            ASSERT_TRUE(art.loaded());
            EXPECT_EQ(art.width(), row.width * scale);
            EXPECT_EQ(art.height(), row.height * scale);
        }
    }
}

// Cairo's reading of a PNG painted over white, as 0x00RRGGBB rows: what a bitmap
// loaded from it holds.
std::vector<uint32_t> PngOverWhite(const unsigned char* png, size_t size, int* width, int* height) {
    struct Reader {
        const unsigned char* at;
        size_t left;
    } reader{png, size};
    cairo_surface_t* image = cairo_image_surface_create_from_png_stream(
        [](void* closure, unsigned char* out, unsigned int length) {
            auto* r = static_cast<Reader*>(closure);
            if (length > r->left)
                return CAIRO_STATUS_READ_ERROR;
            std::memcpy(out, r->at, length);
            r->at += length;
            r->left -= length;
            return CAIRO_STATUS_SUCCESS;
        },
        &reader);
    std::vector<uint32_t> pixels;
    if (cairo_surface_status(image) == CAIRO_STATUS_SUCCESS) {
        *width = cairo_image_surface_get_width(image);
        *height = cairo_image_surface_get_height(image);
        cairo_surface_t* target = cairo_image_surface_create(CAIRO_FORMAT_RGB24, *width, *height);
        cairo_t* cr = cairo_create(target);
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_paint(cr);
        cairo_set_source_surface(cr, image, 0, 0);
        cairo_paint(cr);
        cairo_destroy(cr);
        cairo_surface_flush(target);
        for (int y = 0; y < *height; ++y) {
            const auto* row = reinterpret_cast<const uint32_t*>(
                cairo_image_surface_get_data(target) + y * cairo_image_surface_get_stride(target));
            for (int x = 0; x < *width; ++x)
                pixels.push_back(row[x] & 0xFFFFFF);
        }
        cairo_surface_destroy(target);
    }
    cairo_surface_destroy(image);
    return pixels;
}

// A bitmap's pixels as 0x00RRGGBB rows, copied into a 32-bit DIB section.
std::vector<uint32_t> BitmapPixels(HBITMAP bitmap, int width, int height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP copy = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC from = CreateCompatibleDC(nullptr);
    HDC to = CreateCompatibleDC(nullptr);
    HGDIOBJ oldFrom = SelectObject(from, bitmap);
    HGDIOBJ oldTo = SelectObject(to, copy);
    BitBlt(to, 0, 0, width, height, from, 0, 0, SRCCOPY);
    std::vector<uint32_t> pixels(static_cast<const uint32_t*>(bits),
                                 static_cast<const uint32_t*>(bits) + width * height);
    for (uint32_t& p : pixels)
        p &= 0xFFFFFF;
    SelectObject(from, oldFrom);
    SelectObject(to, oldTo);
    DeleteDC(from);
    DeleteDC(to);
    DeleteObject(copy);
    return pixels;
}

// Each bitmap of the program's artwork, in both sets, holds exactly the pixels of its
// PNG painted over white, whichever way it was decoded.
TEST(Artwork, BitmapsHoldThePixelsOfTheirPngOverWhite) {
    const auto* module =
        reinterpret_cast<const platform::ResourceModule*>(platform::ResourceInstance("pathlume"));
    ASSERT_NE(module, nullptr);
    ASSERT_EQ(module->setCount, 2u);
    for (size_t set = 0; set < module->setCount; ++set) {
        std::unique_ptr<VgaScreen> vga(module->sets[set].dpi == 192 ? new VgaScreen : nullptr);
        for (size_t i = 0; i < module->sets[set].count; ++i) {
            const platform::ResourceImage& image = module->sets[set].images[i];
            if (image.kind != platform::ResourceKind::Bitmap)
                continue;
            SCOPED_TRACE(std::string(module->sets[set].name) + " bitmap " +
                         std::to_string(image.id));
            int width = 0, height = 0;
            const std::vector<uint32_t> expected =
                PngOverWhite(image.png, image.pngSize, &width, &height);
            ASSERT_EQ(width, image.width);
            ASSERT_EQ(height, image.height);
            HBITMAP bitmap =
                LoadBitmapW(platform::ResourceInstance("pathlume"), MAKEINTRESOURCEW(image.id));
            ASSERT_NE(bitmap, nullptr);
            EXPECT_TRUE(BitmapPixels(bitmap, width, height) == expected);
            DeleteObject(bitmap);
        }
    }
}

// PNGs as a module may hold them: RGB rows with every filter, the same image with
// alpha, and the RGB one damaged in a chunk or cut short.
TEST(Resources, BitmapsDecodeEveryFilterAndRefuseDamagedData) {
    constexpr int kWidth = 5, kHeight = 6;
    // The image's rows as PNG bytes (3 or 4 a pixel), row y filtered with filter y % 5.
    auto makePng = [&](bool alpha) {
        const int pixel = alpha ? 4 : 3;
        std::vector<std::vector<uint8_t>> rows(kHeight, std::vector<uint8_t>(kWidth * pixel));
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                for (int c = 0; c < pixel; ++c)
                    rows[y][x * pixel + c] =
                        static_cast<uint8_t>(c == 3 ? 255 : (x * 3 + c) * 37 + y * 91);
        std::string raw;
        for (int y = 0; y < kHeight; ++y) {
            const int filter = y % 5;
            raw += static_cast<char>(filter);
            for (int x = 0; x < kWidth * pixel; ++x) {
                const int a = x >= pixel ? rows[y][x - pixel] : 0;
                const int b = y > 0 ? rows[y - 1][x] : 0;
                const int c = x >= pixel && y > 0 ? rows[y - 1][x - pixel] : 0;
                const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
                const int predictors[5] = {0, a, b, (a + b) / 2,
                                           pa <= pb && pa <= pc ? a
                                           : pb <= pc           ? b
                                                                : c};
                raw += static_cast<char>(rows[y][x] - predictors[filter]);
            }
        }
        std::string packed(compressBound(raw.size()), '\0');
        uLongf packedSize = packed.size();
        compress(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
                 reinterpret_cast<const Bytef*>(raw.data()), raw.size());
        packed.resize(packedSize);
        auto big32 = [](uint32_t v) {
            return std::string{static_cast<char>(v >> 24), static_cast<char>(v >> 16),
                               static_cast<char>(v >> 8), static_cast<char>(v)};
        };
        auto chunk = [&](const char* type, const std::string& body) {
            const std::string typed = type + body;
            return big32(body.size()) + typed +
                   big32(crc32(0, reinterpret_cast<const Bytef*>(typed.data()), typed.size()));
        };
        std::string header = big32(kWidth) + big32(kHeight);
        header += std::string{8, static_cast<char>(alpha ? 6 : 2), 0, 0, 0};
        return std::string("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) +
               chunk("tEXt", std::string("Comment\0test", 12)) + chunk("IDAT", packed) +
               chunk("IEND", "");
    };
    // Registered modules stay for the process's life, and so does their data.
    static const std::string rgb = makePng(false);
    static const std::string alpha = makePng(true);
    static const std::string damaged = [] {
        std::string png = rgb;
        png[png.size() - 20] ^= 0x40;  // inside the IDAT chunk: its CRC fails
        return png;
    }();
    static const std::string cut = rgb.substr(0, rgb.size() - 30);
    static const std::string* pngs[] = {&rgb, &alpha, &damaged, &cut};
    static const std::vector<platform::ResourceImage> images = [] {
        std::vector<platform::ResourceImage> list;
        for (WORD id = 0; id < 4; ++id)
            list.push_back({static_cast<WORD>(200 + id), platform::ResourceKind::Bitmap, kWidth,
                            kHeight, reinterpret_cast<const unsigned char*>(pngs[id]->data()),
                            pngs[id]->size()});
        return list;
    }();
    static const platform::ResourceScreenSet set{"QVGA", 96, images.data(), images.size()};
    static const platform::ResourceModule module{"filters", false, nullptr, 0, &set, 1};
    static const HINSTANCE instance = platform::RegisterResourceModule(module);

    int width = 0, height = 0;
    const std::vector<uint32_t> expected = PngOverWhite(
        reinterpret_cast<const unsigned char*>(rgb.data()), rgb.size(), &width, &height);
    ASSERT_EQ(width, kWidth);
    for (WORD id : {200, 201}) {
        HBITMAP bitmap = LoadBitmapW(instance, MAKEINTRESOURCEW(id));
        ASSERT_NE(bitmap, nullptr) << id;
        EXPECT_TRUE(BitmapPixels(bitmap, kWidth, kHeight) == expected) << id;
        DeleteObject(bitmap);
    }
    for (WORD id : {202, 203}) {
        SetLastError(0);
        EXPECT_EQ(LoadBitmapW(instance, MAKEINTRESOURCEW(id)), nullptr) << id;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND)) << id;
    }
}

TEST(Artwork, TitlesOnTheTitleStripAreWhite) {
    // The title colour is chosen from the strip's pixel at (width / 2, 10 x scale): dark
    // when at most one of its bytes is above 0x80. The whole strip is that dark, so
    // that a title reads on every part of it.
    for (int scale : {1, 2}) {
        std::unique_ptr<VgaScreen> vga(scale == 2 ? new VgaScreen : nullptr);
        Artwork strip(161);
        ASSERT_TRUE(strip.loaded());
        for (int y = 0; y < strip.height(); ++y) {
            for (int x = 0; x < strip.width(); x += 7) {
                const COLORREF c = strip.At(x, y);
                const int bright =
                    (GetRValue(c) > 0x80) + (GetGValue(c) > 0x80) + (GetBValue(c) > 0x80);
                if (y >= 2 * scale && y < 18 * scale) {
                    ASSERT_LE(bright, 1) << x << "," << y;
                    ASSERT_GE(1.05 / (Luminance(c) + 0.05), 7.0) << x << "," << y;
                }
            }
        }
    }
}

TEST(Artwork, KeyedButtonFacesHaveWhiteOnlyOutsideTheirShape) {
    for (int id : {348, 367, 369}) {
        for (int scale : {1, 2}) {
            SCOPED_TRACE("bitmap " + std::to_string(id) + " at scale " + std::to_string(scale));
            std::unique_ptr<VgaScreen> vga(scale == 2 ? new VgaScreen : nullptr);
            Artwork face(id);
            ASSERT_TRUE(face.loaded());
            const int w = face.width(), h = face.height();
            // Round corners: the corner pixels are the key colour.
            EXPECT_EQ(face.At(0, 0), kWhite);
            EXPECT_EQ(face.At(w - 1, h - 1), kWhite);
            int pale = 0;
            for (int y = 0; y < h; ++y) {
                for (int x = 0; x < w; ++x) {
                    const COLORREF c = face.At(x, y);
                    const bool inside =
                        x >= 3 * scale && x < w - 3 * scale && y >= 3 * scale && y < h - 3 * scale;
                    if (inside) {
                        ASSERT_NE(c, kWhite) << x << "," << y;
                    }
                    // No smoothed edge between the face and the key: it would show as a
                    // pale fringe on a dark screen.
                    pale += c != kWhite && GetRValue(c) > 0xC0 && GetGValue(c) > 0xC0 &&
                            GetBValue(c) > 0xC0;
                }
            }
            EXPECT_EQ(pale, 0);
            // The screens label these faces in white and in black: both must read.
            const COLORREF middle = face.At(w / 2, h / 2);
            if (id != 348) {
                EXPECT_GE(1.05 / (Luminance(middle) + 0.05), 3.0);
                EXPECT_GE((Luminance(middle) + 0.05) / 0.05, 3.0);
            }
        }
    }
}

TEST(Artwork, BlackTextReadsOnEveryPartOfTheBackgrounds) {
    for (int id : {147, 148, 149}) {
        Artwork background(id);
        ASSERT_TRUE(background.loaded());
        double darkest = 1;
        for (int y = 0; y < background.height(); y += 3) {
            for (int x = 0; x < background.width(); x += 3) {
                darkest = std::min(darkest, Luminance(background.At(x, y)));
            }
        }
        EXPECT_GE((darkest + 0.05) / 0.05, 10.0) << "bitmap " << id;
    }
}

}  // namespace
