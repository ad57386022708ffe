#include "pathlume/search/house_number_dlg.h"

#include <cstdio>

#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/mapdb/name_codes.h"
#include "pathlume/search/house_number_check.h"
#include "platform/kernel/text.h"

namespace {

constexpr UINT kRangeText = 6128;
constexpr COLORREF kRangeColour = RGB(255, 0, 0);
constexpr int kFieldDrop = 25;

KeyboardSetup HouseNumberSetup() {
    KeyboardSetup setup;
    setup.titleId = 6127;
    setup.letters = &kLettersWithAmpersand;
    setup.styles = &kNameKeyStyles;
    setup.hasList = false;
    setup.listKeys = false;
    return setup;
}

}  // namespace

CHouseNumberDlg::CHouseNumberDlg(CWnd* parent, const StreetRecord* street)
    : KeyboardEntryDlg(parent, HouseNumberSetup()), m_street(street) {}

RECT CHouseNumberDlg::FieldRect() const {
    // Lower than on the other screens: the range and the street stand above it.
    return RECT{m_grid.gridLeft, m_fieldTop + ScaleY(kFieldDrop), m_fieldRight,
                m_fieldBottom + ScaleY(kFieldDrop)};
}

void CHouseNumberDlg::PaintExtras(HDC dc) {
    if (!m_street)
        return;
    RECT client{};
    ::GetClientRect(m_hWnd, &client);
    if (m_street->highest != kUnshownRangeHighest) {
        const std::u16string format = LoadResStringOr(kRangeText, u"Valid Range (%d-%d)");
        WCHAR text[80];
        _snwprintf(text, 80, format.c_str(), m_street->lowest, m_street->highest);
        SetTextColor(dc, kRangeColour);
        ExtTextOutW(dc, m_grid.gridLeft, ScaleY(22), 0, nullptr, text,
                    static_cast<UINT>(std::char_traits<char16_t>::length(text)), nullptr);
    }
    char name[kNameBufferSize] = "";
    if (ReadNamesBinString(m_street->nameOffset, name) > 0 && name[0]) {
        const std::u16string wide = platform::AnsiToWide(name);
        SetTextColor(dc, RGB(0, 0, 0));
        ExtTextOutW(dc, m_grid.gridLeft, ScaleY(62), 0, nullptr, wide.c_str(),
                    static_cast<UINT>(wide.size()), nullptr);
    }
}

void CHouseNumberDlg::OnOK() {
    const HouseNumberEntry entry =
        m_street ? CheckHouseNumber(FieldText(), *m_street) : HouseNumberEntry{true, -1};
    if (entry.accepted) {
        m_houseNumber = entry.number;
        EndDialog(IDOK);
        return;
    }
    ShowWarningBox(this, kMsgInvalidHouseNumber, u"");
}
