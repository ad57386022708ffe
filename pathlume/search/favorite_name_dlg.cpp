#include "pathlume/search/favorite_name_dlg.h"

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/dest_list.h"
#include "pathlume/foundation/registry_helpers.h"
#include "platform/kernel/text.h"

namespace {

KeyboardSetup NameSetup() {
    KeyboardSetup setup;
    setup.titleId = 6116;
    setup.letters = &kLettersWithAmpersand;
    setup.styles = &kNameKeyStyles;
    setup.hasList = false;
    setup.listKeys = false;
    setup.gridLeft = 2;
    return setup;
}

}  // namespace

CFavoriteNameDlg::CFavoriteNameDlg(CWnd* parent, const char* name, const char*, const char*)
    : KeyboardEntryDlg(parent, NameSetup()), m_name(name ? platform::AnsiToWide(name) : u"") {
    if (m_name.size() > 259)
        m_name.resize(259);
}

RECT CFavoriteNameDlg::FieldRect() const {
    return RECT{ScaleY(2), ScaleY(21), ScaleY(241), ScaleY(41)};
}

BOOL CFavoriteNameDlg::OnInitDialog() {
    const BOOL result = KeyboardEntryDlg::OnInitDialog();
    Field().LimitText(kFavoriteNameChars);
    if (!m_name.empty()) {
        Field().SetSel(0, -1);
        Field().ReplaceSel(m_name.c_str());
        Field().SetSel(-1, -1);
    }
    return result;
}

void CFavoriteNameDlg::OnOK() {
    std::u16string text = FieldText();
    const size_t lineEnd = text.find_first_of(u"\r\n");
    if (lineEnd != std::u16string::npos)
        text.resize(lineEnd);
    if (text.size() > static_cast<size_t>(kFavoriteNameChars))
        text.resize(kFavoriteNameChars);
    m_name = text;
    EndDialog(IDOK);
}

int RunFavoriteNameScreen(CWnd* parent, const DestRecord& record, std::string* name) {
    CFavoriteNameDlg screen(parent, record.line3, record.line1, record.line2);
    const INT_PTR result = screen.DoModal();
    if (result == IDOK) {
        *name = platform::WideToAnsi(screen.m_name);
        return IDOK;
    }
    return g_homeKeyPressed.load() != 0 ? kNameScreenHome : IDCANCEL;
}
