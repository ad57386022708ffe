#include "pathlume/shell/favorites.h"

#include <cstring>

#include "pathlume/foundation/data_location.h"
#include "pathlume/foundation/dest_list.h"
#include "pathlume/foundation/message_dlg.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/search/favorite_prompt.h"
#include "pathlume/shell/app_settings.h"
#include "pathlume/shell/main_view.h"
#include "platform/kernel/text.h"

namespace {

constexpr size_t kFavoriteNameChars = 40;

// The program's question screen: "Add", "Edit" and "Cancel", or "Override" and
// "Cancel" for a duplicate.
static_assert(kPromptAdd == kFavoriteAdd && kPromptEdit == kFavoriteEdit,
              "the hook answers as the prompt does");
int PromptDlgPrompt(CWnd* parent, const FavoritePrompt& prompt) {
    return AskAboutFavorite(parent, prompt.title, prompt.text, prompt.heading, prompt.duplicate);
}

// The favourites list could not be written: the driver must not think it was.
void ReportNotSaved(CWnd* parent) {
    const std::u16string caption = LoadResStringOr(6040, u"Favorites");
    const std::u16string message = LoadResStringOr(
        6900,
        u"The place could not be saved in the Favorites.\r\n\r\nPlease check that the "
        u"storage card is inserted and not full.");
    const std::u16string confirm = LoadResStringOr(6009, u"Confirm");
    CMessageDlg box(parent, caption.c_str(), message.c_str(), u"", confirm.c_str(), u"", 1);
    box.DoModal();
}

FavoritePromptHook g_promptHook = PromptDlgPrompt;
FavoriteNameHook g_nameHook = nullptr;

const char* WithoutMarker(const char* line) {
    return line && line[0] == 0x01 ? line + 1 : line;
}

}  // namespace

void SetFavoritePromptHook(FavoritePromptHook hook) {
    g_promptHook = hook ? hook : PromptDlgPrompt;
}

void SetFavoriteNameHook(FavoriteNameHook hook) {
    g_nameHook = hook;
}

std::string FavoritePromptText(const DestRecord& record) {
    std::string text = "\n";
    if (record.shortName[0])
        return text.append(record.shortName).append("\n\n");
    const char* line1 = WithoutMarker(record.line1);
    text.assign(line1 ? line1 : "");
    return text.append("\n").append(record.line2 ? record.line2 : "").append("\n\n");
}

int CMainView::AddToFavorites(const AddressHit& hit, int listKind, const char* twoLineText,
                              const char* houseNumberText, const char* caption, BOOL ask,
                              BOOL silent) {
    std::string line1 = twoLineText ? twoLineText : "";
    std::string line2;
    if (const size_t split = line1.find('\n'); split != std::string::npos) {
        line2 = line1.substr(split + 1);
        line1.resize(split);
    }
    DestRecord record;
    const DestPlace place = hit.ToDestPlace();
    if (!record.Set(place.lat, place.lon, place.linkId, place.linkRef, place.areaCode,
                    houseNumberText ? houseNumberText : "", line1.c_str(),
                    line2.empty() ? nullptr : line2.c_str(), caption))
        return 1;

    WCHAR path[MAX_PATH] = {};
    const std::u16string list = FormatDataFilePath(listKind, path);
    const int found = CDestList::Find(record, list);
    if (listKind == kListRecent) {
        CDestList::Truncate(list, static_cast<int>(g_recentLimit.load()));
        CDestList::Add(record, list, FALSE, TRUE);
        return found;
    }

    const auto runPrompt = [&](const FavoritePrompt& prompt) {
        BeginModalScreen();
        const int answer = g_promptHook(this, prompt);
        EndModalScreen(FALSE);
        return answer;
    };
    const auto addFavorite = [&] {
        const int written = CDestList::Add(record, list, TRUE, TRUE);
        // A list left as it was already ends with the record; otherwise it was not
        // written.
        if (written != 0 && CDestList::Find(record, list) != 2) {
            BeginModalScreen();
            ReportNotSaved(this);
            EndModalScreen(FALSE);
        }
        return written;
    };
    const std::u16string title = LoadResStringOr(6015, u"Add To Favorites");
    const std::u16string heading = LoadResStringOr(6040, u"Favorites");
    if (found == 2) {
        if (ask) {
            FavoritePrompt prompt{heading,
                                  platform::AnsiToWide(FavoritePromptText(record)) +
                                      LoadResStringOr(6016, u"Duplicate Entry Found"),
                                  title, true};
            if (runPrompt(prompt) != kPromptAdd)
                return found;
        }
        return addFavorite();
    }
    if (silent)
        return 0;
    for (;;) {
        FavoritePrompt prompt{title, platform::AnsiToWide(FavoritePromptText(record)), heading,
                              false};
        const int answer = runPrompt(prompt);
        if (answer == kPromptAdd)
            return addFavorite();
        if (answer != kPromptEdit)
            return found;
        if (!g_nameHook)
            continue;
        std::string name;
        BeginModalScreen();
        const int named = g_nameHook(this, record, &name);
        EndModalScreen(FALSE);
        if (named == kNameEntryHome)
            return 0;
        if (named != IDOK)
            continue;
        // The driver's name is the record's title (line 3), never its house number.
        if (name.size() > kFavoriteNameChars)
            name.resize(kFavoriteNameChars);
        record.FreeStrings();
        record.Set(place.lat, place.lon, place.linkId, place.linkRef, place.areaCode,
                   houseNumberText ? houseNumberText : "", line1.c_str(),
                   line2.empty() ? nullptr : line2.c_str(), name.empty() ? nullptr : name.c_str());
    }
}
