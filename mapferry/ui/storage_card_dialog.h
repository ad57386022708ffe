// "Storage Card Selection": the handheld's storage cards, those named as cards first,
// with the free space of the one chosen.
#pragma once

#include <string>
#include <vector>

#include "mapferry/convert/installer_services.h"
#include "platform/afx/afx.h"

inline constexpr UINT kStorageCardTemplate = 149;
inline constexpr int kCardList = 1022;
inline constexpr int kCardFree = 1008;
inline constexpr int kCardRefresh = 1012;
inline constexpr int kMaxListedCards = 5;

// The cards to list, in order: names holding "Card" or "card" first, then the others;
// empty names and "\" left out; at most the first five indexes looked at. Each entry
// is the card's name and index.
std::vector<std::pair<std::u16string, int>> OrderedCards(IDeviceLink& link);

class CStorageCardDlg : public CDialog {
  public:
    CStorageCardDlg(CWnd* parent, IDeviceLink* link);

    BOOL OnInitDialog() override;
    // The entries added (or the card count when that is 0 or less).
    int FillCardList();

    int m_cardIndex = -1;
    double m_cardFree = 0.0;

  protected:
    void OnCardChanged();
    void OnRefresh();
    HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT kind);
    DECLARE_MESSAGE_MAP()

  private:
    void FillAndChooseFirst();
    void ShowFree();

    IDeviceLink* m_pLink;
    CComboBox m_list;
};
