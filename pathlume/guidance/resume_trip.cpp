#include "pathlume/guidance/resume_trip.h"

#include <string>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/data_location.h"
#include "pathlume/foundation/dest_list.h"
#include "pathlume/foundation/prompt_dlg.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/route/router.h"
#include "platform/kernel/files.h"
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
    // The question with the destination's name under it; Yes, or the close button.
    const std::u16string destination = platform::AnsiToWide(name);
    const std::u16string question = LoadResStringOr(6112, u"Continue to Final Destination?");
    const std::u16string title = LoadResStringOr(6009, u"Confirm");
    const std::u16string caption = LoadResStringOr(6133, u"Destinations");
    const std::u16string yes = LoadResStringOr(6146, u"Yes");
    const std::u16string no = LoadResStringOr(6147, u"No");
    IMainView* view = g_mainView.load();
    CWnd* parent = view ? CWnd::FromHandle(view->GetViewWindow()) : nullptr;
    CPromptDlg prompt(parent, title.c_str(), question.c_str(), caption.c_str(), yes.c_str(), u"",
                      no.c_str(), destination.c_str());
    if (prompt.DoModal() == kPromptFirstAnswer) {
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
