// The favourite and the recent destinations: a stored list of places with "Nav",
// "Origin" and "Del"; favourites add "Edit" (a new name), recent destinations "Fav"
// (keep one as a favourite). The list file is written back when it was changed.
#pragma once

#include "pathlume/foundation/dest_list.h"
#include "pathlume/search/list_screen_dlg.h"

class CMapDatabase;
class IMainView;

// The recent screen shows the newest 25.
inline constexpr int kRecentShown = 25;

class CDestinationListDlg : public CListScreenDlg {
  public:
    // 540 after Nav, 539 after Origin, IDCANCEL after the close key, Escape, Home (or
    // Home on one of its own prompts).
    CDestinationListDlg(CWnd* parent, UINT templateId, UINT titleId, int listKind,
                        CMapDatabase& database, IMainView* view);

    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;
    void OnOK() override { OnNav(); }
    void OnCancel() override;

    virtual void DeleteSelected();

    // The selected record, or null.
    DestRecord* SelectedRecord() const;
    CDestList& Records() { return m_records; }
    bool Changed() const { return m_changed; }

  protected:
    // The subclass's button and its list.
    virtual void SetUpExtraButton() = 0;
    virtual int LoadRecords() = 0;
    // How many of the records are shown.
    virtual size_t ShownCount() const { return m_records.records.size(); }
    void AddRows();
    // Takes the selected row and its record out of the list.
    void RemoveSelected();
    void SaveIfChanged();

    void OnPaint();
    void OnNav();
    void OnOrigin();
    void OnDelete();

    CMapDatabase& m_database;
    IMainView* m_view;
    CDestList m_records;
    CImageButton m_nav;
    CImageButton m_origin;
    CImageButton m_close;
    CImageButton m_delete;
    CImageButton m_extra;
    UINT m_titleId;
    int m_listKind;
    bool m_changed = false;
    bool m_loaded = false;

    DECLARE_MESSAGE_MAP()
};

class CFavoritesDlg : public CDestinationListDlg {
  public:
    CFavoritesDlg(CWnd* parent, CMapDatabase& database, IMainView* view);

    // Removes the entry; the file is written when the screen ends.
    void DeleteSelected() override;

  protected:
    void SetUpExtraButton() override;
    int LoadRecords() override;
    void OnEdit();

    DECLARE_MESSAGE_MAP()
};

class CRecentDlg : public CDestinationListDlg {
  public:
    CRecentDlg(CWnd* parent, CMapDatabase& database, IMainView* view);

    // Removes the entry and writes the file at once, keeping the entries past the 25
    // shown.
    void DeleteSelected() override;

  protected:
    void SetUpExtraButton() override;
    int LoadRecords() override;
    size_t ShownCount() const override;
    void OnFav();

    DECLARE_MESSAGE_MAP()
};
