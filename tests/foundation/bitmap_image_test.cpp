// Bitmap image records: loading, and drawing copied, keyed and blended.
#include <gtest/gtest.h>

#include <numbers>

#include "pathlume/foundation/bitmap_image.h"
#include "screen_test_support.h"

namespace {

class BitmapImageTest : public screen_testing::ScreenTest {
  protected:
    void SetUp() override {
        ScreenTest::SetUp();
        target = CreateCompatibleDC(nullptr);
        targetBitmap = CreateCompatibleBitmap(target, 20, 20);
        previous = SelectObject(target, targetBitmap);
        Fill(target, 0, 0, 20, 20, RGB(100, 100, 100));
    }
    void TearDown() override {
        SelectObject(target, previous);
        DeleteObject(targetBitmap);
        DeleteDC(target);
        ScreenTest::TearDown();
    }
    static void Fill(HDC dc, int x, int y, int w, int h, COLORREF colour) {
        RECT r{x, y, x + w, y + h};
        HBRUSH brush = CreateSolidBrush(colour);
        FillRect(dc, &r, brush);
        DeleteObject(brush);
    }
    // A 6 x 4 image: red with a white (key) left column and a blue top-left pixel.
    static void MakeImage(CBitmapImage* image) {
        HDC dc = CreateCompatibleDC(nullptr);
        image->bitmap = CreateCompatibleBitmap(dc, 6, 4);
        HGDIOBJ old = SelectObject(dc, image->bitmap);
        Fill(dc, 0, 0, 6, 4, RGB(200, 0, 0));
        Fill(dc, 0, 0, 1, 4, RGB(255, 255, 255));
        SetPixel(dc, 1, 0, RGB(0, 0, 200));
        SelectObject(dc, old);
        DeleteDC(dc);
        image->ReadSize();
    }
    COLORREF At(int x, int y) { return GetPixel(target, x, y); }

    HDC target = nullptr;
    HBITMAP targetBitmap = nullptr;
    HGDIOBJ previous = nullptr;
};

TEST_F(BitmapImageTest, LoadsFromResourcesAndReloadsWithoutLeaking) {
    CBitmapImage image;
    EXPECT_EQ(image.bitmap, nullptr);
    EXPECT_EQ(image.flags, 0u);
    ASSERT_EQ(image.LoadFromResource(367, nullptr), 0);
    EXPECT_EQ(image.width, 64);
    EXPECT_EQ(image.height, 26);
    EXPECT_EQ(image.flags, CBitmapImage::kFlagSizeKnown);
    const int objects = platform::CountGdiObjects();
    ASSERT_EQ(image.LoadFromResource(161, nullptr), 0);
    EXPECT_EQ(platform::CountGdiObjects(), objects);  // the old bitmap went first
    EXPECT_EQ(image.width, 320);
    EXPECT_EQ(image.height, 20);

    EXPECT_EQ(image.LoadFromResource(9999, nullptr), 1);
    EXPECT_EQ(image.bitmap, nullptr);
    EXPECT_EQ(platform::CountGdiObjects(), objects - 1);

    image.SetAlpha(10);
    image.SetTransparentColor(RGB(1, 2, 3));
    EXPECT_EQ(image.Release(), CBitmapImage::kFlagSizeKnown | CBitmapImage::kFlagBlend |
                                   CBitmapImage::kFlagTransparent);
    EXPECT_EQ(image.flags, CBitmapImage::kFlagBlend | CBitmapImage::kFlagTransparent);
}

TEST_F(BitmapImageTest, PlainCopyUsesTheGivenSizeOrTheWholeImage) {
    CBitmapImage image;
    MakeImage(&image);
    image.Draw(target, 2, 3, 0, 0, 0, 0);
    EXPECT_EQ(At(2, 3), RGB(255, 255, 255));
    EXPECT_EQ(At(3, 3), RGB(0, 0, 200));
    EXPECT_EQ(At(7, 6), RGB(200, 0, 0));  // the image's last pixel
    EXPECT_EQ(At(8, 6), RGB(100, 100, 100));
    EXPECT_EQ(At(7, 7), RGB(100, 100, 100));

    Fill(target, 0, 0, 20, 20, RGB(100, 100, 100));
    image.Draw(target, 10, 10, 1, 0, 2, 1);  // a 2 x 1 piece from (1, 0)
    EXPECT_EQ(At(10, 10), RGB(0, 0, 200));
    EXPECT_EQ(At(11, 10), RGB(200, 0, 0));
    EXPECT_EQ(At(12, 10), RGB(100, 100, 100));
    EXPECT_EQ(At(10, 11), RGB(100, 100, 100));
}

TEST_F(BitmapImageTest, TransparentColourIsLeftOut) {
    CBitmapImage image;
    MakeImage(&image);
    image.SetTransparentColor(RGB(255, 255, 255));
    image.Draw(target, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(At(0, 0), RGB(100, 100, 100));
    EXPECT_EQ(At(0, 3), RGB(100, 100, 100));
    EXPECT_EQ(At(2, 2), RGB(200, 0, 0));
}

TEST_F(BitmapImageTest, BlendCoversTheWholeImageAndSkipsTheKey) {
    CBitmapImage image;
    MakeImage(&image);
    image.SetAlpha(128);
    // The requested 1 x 1 is ignored: the blend covers 6 x 4.
    image.Draw(target, 0, 0, 0, 0, 1, 1);
    // (200 x 128 + 100 x 127) >> 8 = 149, (0 + 12700) >> 8 = 49.
    EXPECT_EQ(At(5, 3), RGB(149, 49, 49));
    EXPECT_EQ(At(0, 0), RGB(177, 177, 177));  // white blended: (255 x 128 + 12700) >> 8
    EXPECT_EQ(At(6, 3), RGB(100, 100, 100));

    Fill(target, 0, 0, 20, 20, RGB(100, 100, 100));
    image.SetTransparentColor(RGB(255, 255, 255));
    image.Draw(target, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(At(0, 0), RGB(100, 100, 100));
    EXPECT_EQ(At(0, 2), RGB(100, 100, 100));
    EXPECT_EQ(At(5, 3), RGB(149, 49, 49));

    // An opacity the blend refuses leaves the destination alone.
    Fill(target, 0, 0, 20, 20, RGB(100, 100, 100));
    image.SetAlpha(300);
    image.Draw(target, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(At(5, 3), RGB(100, 100, 100));
}

TEST_F(BitmapImageTest, AngleTurnsTheImageBeforeDrawing) {
    CBitmapImage image;
    HDC dc = CreateCompatibleDC(nullptr);
    image.bitmap = CreateCompatibleBitmap(dc, 5, 5);
    HGDIOBJ old = SelectObject(dc, image.bitmap);
    Fill(dc, 0, 0, 5, 5, RGB(0, 0, 0));
    Fill(dc, 2, 0, 1, 3, RGB(255, 0, 0));  // an arrow pointing up from the centre
    SelectObject(dc, old);
    DeleteDC(dc);
    image.ReadSize();
    image.angle = std::numbers::pi_v<float> / 2;
    const int objects = platform::CountGdiObjects();
    image.Draw(target, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(platform::CountGdiObjects(), objects);  // the turned copy is gone
    // Destination (x, y) reads source (y, 4 - x): the arrow now points right.
    EXPECT_EQ(At(4, 2), RGB(255, 0, 0));
    EXPECT_EQ(At(2, 2), RGB(255, 0, 0));
    EXPECT_EQ(At(2, 0), RGB(0, 0, 0));
    EXPECT_EQ(At(1, 2), RGB(0, 0, 0));
}

}  // namespace
