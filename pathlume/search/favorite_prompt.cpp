#include "pathlume/search/favorite_prompt.h"

#include "pathlume/foundation/dest_list.h"
#include "pathlume/foundation/prompt_dlg.h"
#include "pathlume/foundation/registry_helpers.h"

std::string FavoriteEntryText(const DestRecord& record) {
    const char* line1 = record.line1 && record.line1[0] == 0x01 ? record.line1 + 1 : record.line1;
    // Appended piece by piece: GCC 12 warns falsely of an overlap on "\n" + std::string.
    std::string text;
    if (record.line3) {
        text.append("\n").append(record.line3).append("\n\n");
    } else if (line1 && record.line2) {
        text.append(line1).append("\n").append(record.line2).append("\n\n");
    } else {
        text.append(line1 ? line1 : "").append("\n\n\n");
    }
    return text;
}

int AskAboutFavorite(CWnd* parent, const std::u16string& title, const std::u16string& message,
                     const std::u16string& caption, bool duplicate) {
    const std::u16string first =
        duplicate ? LoadResStringOr(6043, u"Override") : LoadResStringOr(6277, u"Add");
    const std::u16string second = duplicate ? u"" : LoadResStringOr(6042, u"Edit");
    const std::u16string cancel = LoadResStringOr(6010, u"Cancel");
    CPromptDlg prompt(parent, title.c_str(), message.c_str(), caption.c_str(), first.c_str(),
                      second.c_str(), cancel.c_str(), nullptr);
    const INT_PTR answer = prompt.DoModal();
    if (answer == kPromptFirstAnswer)
        return kFavoriteAdd;
    if (answer == kPromptSecondAnswer && !duplicate)
        return kFavoriteEdit;
    return IDCANCEL;
}
