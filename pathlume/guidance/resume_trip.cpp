#include "pathlume/guidance/resume_trip.h"

#include <string>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/data_location.h"
#include "pathlume/foundation/dest_list.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/route/router.h"
#include "platform/kernel/files.h"
#include "platform/kernel/msgbox.h"
#include "platform/kernel/text.h"

namespace {

// Decided: only an itinerary read whole counts, because saving a list that was
// read in part would lose the records after the damage.
bool LoadWhole(CDestList& list) {
    list.Clear();
    return list.Load(0, 0) == 0 && !list.records.empty();
}

void DropFirst(CDestList& list) {
    delete list.records.front();
    list.records.erase(list.records.begin());
    list.Save();
}

}  // namespace

int OfferResumeTrip(int dropFirst) {
    if (g_router) {
        g_router->SetAvoidMarks(0);
        g_router->ResetRoute(0, 0, 0);
    }
    WCHAR path[MAX_PATH];
    CDestList list;
    list.path = FormatDataFilePath(kListItinerary, path);
    if (dropFirst && LoadWhole(list)) {
        DropFirst(list);
    }
    if (!LoadWhole(list)) {
        return 0;
    }
    if (g_router) {
        g_router->SetDetourBit(list.records.size() >= 2 ? 1 : 0);
    }
    char name[512];
    list.records.front()->GetDisplayText(name, sizeof name);
    // The question and the destination's name; Yes and No.
    const std::u16string text = LoadResStringOr(6112, u"Continue to Final Destination?") + u"\n" +
                                platform::AnsiToWide(name);
    const std::u16string caption = LoadResStringOr(6009, u"Confirm");
    IMainView* view = g_mainView.load();
    const int answer = MessageBoxW(view ? view->GetViewWindow() : nullptr, text.c_str(),
                                   caption.c_str(), MB_YESNO | MB_ICONQUESTION);
    if (answer == IDYES) {
        list.records.front()->RouteTo();
        return 0;
    }
    if (LoadWhole(list) && list.records.size() == 2) {
        DropFirst(list);
        return 1;
    }
    DeleteFileW(list.path.c_str());
    return 0;
}
