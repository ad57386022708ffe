#include "tests/position/fake_view.h"

#include "pathlume/mapdb/map_records.h"
#include "pathlume/position/fix_delivery.h"
#include "pathlume/position/position_queue.h"
#include "platform/kernel/sync.h"

namespace position_test {
namespace {
FakeView* g_view = nullptr;
}

void ResetFixDelivery() {
    g_positionQueue.Clear();
    g_positionQueue.SetLastSpeed(5.0f);
    g_vehicleLocation.SetPosition({0, 0});
    platform::InterlockedTarget(&g_pendingFixPosts).store(0);
    g_positionHold.store(0);
    CreateDataMutex();
}

FakeView::FakeView() {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = Proc;
    windowClass.lpszClassName = u"PositionTestView";
    RegisterClassW(&windowClass);
    g_view = this;
    window_ = CreateWindowExW(0, u"PositionTestView", u"", 0, 0, 0, 10, 10, nullptr, nullptr,
                              nullptr, nullptr);
    g_mainView.store(this);
}

FakeView::~FakeView() {
    g_mainView.store(nullptr);
    DestroyWindow(window_);
    g_view = nullptr;
}

void FakeView::Pump() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&message);
}

LRESULT CALLBACK FakeView::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_USER && g_view) {
        if (wParam == kGpsInfoUpdateMessage)
            ++g_view->infoUpdates;
        if (wParam == kViewPlaybackEnded)
            ++g_view->playbackEnds;
        if (wParam == kViewSimulationEnded)
            ++g_view->demoEndedMessages;
        if (wParam == kNewFixMessage) {
            ++g_view->newFixMessages;
            if (g_view->consume) {
                HandleNewFixMessage(window, g_view->consume);
                return 0;
            }
            if (!g_view->consumeFixes) {
                LowerPendingFixPosts();
                return 0;
            }
            HandleNewFixMessage(window, [](PositionQueue& queue) {
                QueuedPosition position;
                while (queue.Pop(&position) == 0)
                    g_view->consumedLatitudes.push_back(position.latitude);
            });
        }
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace position_test
