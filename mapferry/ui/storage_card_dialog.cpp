#include "mapferry/ui/storage_card_dialog.h"

#include "mapferry/ui/map_sheet.h"
#include "mapferry/ui/page_drawing.h"

std::vector<std::pair<std::u16string, int>> OrderedCards(IDeviceLink& link) {
    std::vector<std::pair<std::u16string, int>> cards;
    std::vector<std::pair<std::u16string, int>> others;
    const int count = link.GetStorageCardCount();
    for (int i = 0; i < count && i < kMaxListedCards; ++i) {
        const std::u16string name = link.GetStorageCardName(i);
        if (name.empty())
            continue;
        if (name.find(u"Card") != std::u16string::npos ||
            name.find(u"card") != std::u16string::npos)
            cards.emplace_back(name, i);
        else if (name != u"\\")
            others.emplace_back(name, i);
    }
    cards.insert(cards.end(), others.begin(), others.end());
    return cards;
}

BEGIN_MESSAGE_MAP(CStorageCardDlg, CDialog)
ON_CBN_SELCHANGE(kCardList, OnCardChanged)
ON_BN_CLICKED(kCardRefresh, OnRefresh)
ON_WM_CTLCOLOR()
END_MESSAGE_MAP()

CStorageCardDlg::CStorageCardDlg(CWnd* parent, IDeviceLink* link)
    : CDialog(kStorageCardTemplate, parent), m_pLink(link) {
    RegisterPageTemplates();
}

HBRUSH CStorageCardDlg::OnCtlColor(CDC* dc, CWnd*, UINT) {
    return FaceColoured(dc);
}

int CStorageCardDlg::FillCardList() {
    if (!m_pLink)
        return -1;
    const int count = m_pLink->GetStorageCardCount();
    if (count <= 0)
        return count;
    const auto cards = OrderedCards(*m_pLink);
    for (const auto& [name, index] : cards)
        m_list.SetItemData(m_list.AddString(name.c_str()), static_cast<DWORD_PTR>(index));
    return static_cast<int>(cards.size());
}

void CStorageCardDlg::ShowFree() {
    if (m_cardIndex < 0) {
        SetDlgItemText(kCardFree, u"not available");
        return;
    }
    WCHAR text[64];
    swprintf(text, std::size(text), u"%.0f MB", m_cardFree);
    SetDlgItemText(kCardFree, text);
}

void CStorageCardDlg::FillAndChooseFirst() {
    m_list.ResetContent();
    if (FillCardList() <= 0) {
        m_list.SetItemData(m_list.AddString(u"No storage card"), static_cast<DWORD_PTR>(-1));
        m_list.SetCurSel(0);
        m_cardIndex = -1;
        m_cardFree = -1.0;
        ShowFree();
        return;
    }
    m_list.SetCurSel(0);
    OnCardChanged();
}

BOOL CStorageCardDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    m_list.SubclassDlgItem(kCardList, this);
    FillAndChooseFirst();
    return TRUE;
}

void CStorageCardDlg::OnCardChanged() {
    const int selected = m_list.GetCurSel();
    const int index = selected >= 0 ? static_cast<int>(m_list.GetItemData(selected)) : -1;
    if (index < 0 || index >= kMaxListedCards || !m_pLink) {
        m_cardIndex = -1;
        m_cardFree = -1.0;
    } else {
        m_cardIndex = index;
        m_cardFree = m_pLink->GetStorageCardFree(index);
    }
    ShowFree();
    Invalidate();
}

void CStorageCardDlg::OnRefresh() {
    FillAndChooseFirst();
    Invalidate();
}
