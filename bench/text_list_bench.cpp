// The list window's hot paths: painting a page of a 1,000-row list narrowed by a
// filter at VGA, and type-ahead over 10,000 sorted rows.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/name_text.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/foundation/text_list_wnd.h"
#include "platform/afx/afx.h"

namespace {

constexpr int kWidth = 480;
constexpr int kHeight = 640;

// Street names "<first> <second> <type>", sorted as the lists hold them.
std::vector<std::string> SortedNames(size_t count) {
    const char* const first[] = {
        "Acorn", "Bay",   "Bayview", "Birch",    "Cedar",  "Cherry", "Elm",   "Fairview", "Forest",
        "Glen",  "Hill",  "Lake",    "Lakeview", "Main",   "Maple",  "Mill",  "Oak",      "Park",
        "Pine",  "Ridge", "River",   "Spring",   "Valley", "Walnut", "Willow"};
    const char* const second[] = {"Creek", "Grove", "Hollow", "Point", "Crest", "Brook", "Field",
                                  "Ford",  "Gate",  "Haven",  "Knoll", "Mead",  "Moor",  "Vale",
                                  "Wood",  "Cross", "Dale",   "End",   "Rise",  "Shore"};
    const char* const type[] = {"Ave", "Blvd", "Cir",  "Ct",   "Dr",   "Ln",  "Pl",
                                "Rd",  "St",   "Way",  "Row",  "Run",  "Sq",  "Ter",
                                "Trl", "Walk", "Xing", "Pass", "Loop", "Pkwy"};
    std::vector<std::string> names;
    for (const char* f : first) {
        for (const char* s : second) {
            for (const char* t : type)
                names.push_back(std::string(f) + " " + s + " " + t);
        }
    }
    names.resize(std::min(count, names.size()));
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return CompareNoCase(a.c_str(), b.c_str(), -1) < 0;
    });
    return names;
}

void PaintFiltered(benchmark::State& state, const char* filter) {
    platform::SetScreenMode(kWidth, kHeight, 192);
    g_screenScaleX.store(2.0f);
    g_screenScaleY.store(2.0f);
    CWnd parent;
    parent.CreateEx(0, AfxRegisterWndClass(0), u"", WS_POPUP | WS_VISIBLE, 0, 0, kWidth, kHeight,
                    nullptr, nullptr);
    std::unique_ptr<CTextListWnd> list(new CTextListWnd);
    list->Create(WS_VSCROLL, CRect(0, 0, kWidth, kHeight), &parent, 1);
    // The program's bold 14 font at VGA scale; the row height follows from it.
    CFont font;
    CreateScaledFont(&font, 14, FW_BOLD, nullptr);
    list->listFont = static_cast<HFONT>(font.GetSafeHandle());
    for (const std::string& name : SortedNames(1000))
        list->AddItem(name.c_str(), 0);
    list->SetFilter(filter);
    list->SetSelection(3, FALSE, FALSE);

    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, kWidth, kHeight);
    HGDIOBJ old = SelectObject(memory, bitmap);
    CDC* dc = CDC::FromHandle(memory);
    int shown = 0;
    for (int i = 0; i < list->GetCount(); ++i)
        shown += list->Matches(i) ? 1 : 0;
    list->Draw(dc, -1);  // measures the row height
    for (auto _ : state)
        list->Draw(dc, -1);
    state.SetLabel("1,000 sorted rows, filter \"" + std::string(filter) + "\" (" +
                   std::to_string(shown) + " rows match), 480 x 640, rows of " +
                   std::to_string(list->rowHeight) + " pixels");
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    list.reset();
    parent.DestroyWindow();
}

void BM_PaintFilteredSparse(benchmark::State& state) {
    PaintFiltered(state, "view");
}
BENCHMARK(BM_PaintFilteredSparse)->Unit(benchmark::kMillisecond);

void BM_PaintFilteredDense(benchmark::State& state) {
    PaintFiltered(state, "a");
}
BENCHMARK(BM_PaintFilteredDense)->Unit(benchmark::kMillisecond);

// A fresh type-ahead (no filter yet) over 10,000 rows; the list has no window, so
// only the search is measured.
void FindTyped(benchmark::State& state, const char* typed, const char* what) {
    CTextListWnd list;
    for (const std::string& name : SortedNames(10000))
        list.AddItem(name.c_str(), 0);
    int found = 0;
    for (auto _ : state) {
        list.SetFilter(nullptr);
        list.lastMatch = -1;
        found = list.FindTyped(typed, FALSE);
        benchmark::DoNotOptimize(found);
    }
    state.SetLabel(std::to_string(list.GetCount()) + " sorted rows, \"" + typed + "\": " + what +
                   " (row " + std::to_string(found) + ")");
}

void BM_FindTypedBeginningLate(benchmark::State& state) {
    FindTyped(state, "willow wood", "a name beginning with it, late in the list");
}
BENCHMARK(BM_FindTypedBeginningLate)->Unit(benchmark::kMicrosecond);

void BM_FindTypedContainedOnly(benchmark::State& state) {
    FindTyped(state, "view", "only names containing it");
}
BENCHMARK(BM_FindTypedContainedOnly)->Unit(benchmark::kMicrosecond);

void BM_FindTypedNowhere(benchmark::State& state) {
    FindTyped(state, "qqq", "in no name");
}
BENCHMARK(BM_FindTypedNowhere)->Unit(benchmark::kMicrosecond);

// Narrowing letter by letter, as a driver types.
void BM_FindTypedNarrowing(benchmark::State& state) {
    CTextListWnd list;
    for (const std::string& name : SortedNames(10000))
        list.AddItem(name.c_str(), 0);
    const char* const steps[] = {"w", "wi", "wil", "will", "willo", "willow"};
    for (auto _ : state) {
        list.SetFilter(nullptr);
        list.lastMatch = -1;
        for (const char* typed : steps)
            benchmark::DoNotOptimize(list.FindTyped(typed, FALSE));
    }
    state.SetLabel("10,000 sorted rows, \"w\" to \"willow\", six calls");
}
BENCHMARK(BM_FindTypedNarrowing)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak memory: %ld KiB\n", usage.ru_maxrss);
    return 0;
}
