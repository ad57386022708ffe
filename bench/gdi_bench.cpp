// Drawing speed of the paths every frame takes: copying the off-screen map to the
// screen, drawing a long wide road line, and drawing a street label.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_main.h"
#include "platform/gdi/gdi.h"

namespace {

constexpr int kWidth = 480;
constexpr int kHeight = 640;

// A memory DC with a VGA-sized bitmap.
struct Buffer {
    Buffer() {
        dc = CreateCompatibleDC(nullptr);
        bitmap = CreateCompatibleBitmap(dc, kWidth, kHeight);
        old = SelectObject(dc, bitmap);
        RECT all{0, 0, kWidth, kHeight};
        FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    }
    ~Buffer() {
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ old;
};

void BM_BitBltFullScreen(benchmark::State& state) {
    Buffer source, dest;
    for (auto _ : state) {
        BitBlt(dest.dc, 0, 0, kWidth, kHeight, source.dc, 0, 0, SRCCOPY);
        benchmark::ClobberMemory();
    }
    state.SetLabel("SRCCOPY of a 480 x 640 memory bitmap into another");
}
BENCHMARK(BM_BitBltFullScreen)->Unit(benchmark::kMillisecond);

void BM_Polyline1000Width5(benchmark::State& state) {
    Buffer dest;
    std::vector<POINT> points(1000);
    for (size_t i = 0; i < points.size(); ++i) {
        // A winding road across the whole screen, down and back.
        const double t = static_cast<double>(i) / points.size();
        points[i].x = static_cast<LONG>(240 + 200 * std::sin(t * 37.0));
        points[i].y = static_cast<LONG>(20 + 600 * t);
    }
    HPEN pen = CreatePen(PS_SOLID, 5, RGB(0x21, 0x5E, 0x9B));
    HGDIOBJ old = SelectObject(dest.dc, pen);
    for (auto _ : state) {
        Polyline(dest.dc, points.data(), static_cast<int>(points.size()));
    }
    SelectObject(dest.dc, old);
    DeleteObject(pen);
    state.SetLabel("1,000 points winding over 480 x 640, solid pen 5 pixels wide");
}
BENCHMARK(BM_Polyline1000Width5)->Unit(benchmark::kMillisecond);

void BM_DrawLabel20(benchmark::State& state) {
    Buffer dest;
    LOGFONTW log{};
    log.lfHeight = 28;
    log.lfWeight = FW_BOLD;
    const std::u16string face = u"Tahoma";
    std::copy(face.begin(), face.end(), log.lfFaceName);
    HFONT font = CreateFontIndirectW(&log);
    HGDIOBJ old = SelectObject(dest.dc, font);
    SetBkMode(dest.dc, TRANSPARENT);
    const std::u16string label = u"Elm Street North 123";
    for (auto _ : state) {
        ExtTextOutW(dest.dc, 40, 300, 0, nullptr, label.data(), static_cast<UINT>(label.size()),
                    nullptr);
    }
    SelectObject(dest.dc, old);
    DeleteObject(font);
    state.SetLabel("20 characters, Tahoma bold 28 pixels (VGA), smoothed, transparent");
}
BENCHMARK(BM_DrawLabel20)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    return RunBenchmarksAndPrintPeakMemory(argc, argv);
}
