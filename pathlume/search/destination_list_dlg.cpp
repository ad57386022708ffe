#include "pathlume/search/destination_list_dlg.h"

#include <string>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/data_location.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/mapdb/router_services.h"
#include "pathlume/search/dest_record_actions.h"
#include "pathlume/search/favorite_name_dlg.h"
#include "pathlume/search/favorite_prompt.h"
#include "platform/kernel/text.h"

namespace {

constexpr int kNav = 540;
constexpr int kOrigin = 539;
constexpr int kDelete = 533;
constexpr int kEdit = 532;
constexpr int kFav = 501;
constexpr size_t kRowSize = 512;

std::string RowText(const DestRecord& record) {
    char text[kRowSize];
    record.GetDisplayText(text, sizeof text);
    return text;
}

const char* ShownLine1(const DestRecord& record) {
    return record.line1 && record.line1[0] == 0x01 ? record.line1 + 1 : record.line1;
}

// Runs the name screen for the record and takes its name (an empty one removes it):
// IDOK, or the screen's other answer.
INT_PTR RenameRecord(CWnd* parent, DestRecord& record) {
    CFavoriteNameDlg names(parent, record.line3, ShownLine1(record), record.line2);
    const INT_PTR result = names.DoModal();
    if (result != IDOK)
        return result;
    const std::string name = platform::WideToAnsi(names.m_name);
    if (name.empty()) {
        delete[] record.line3;
        record.line3 = nullptr;
    } else {
        record.Set(record.lat, record.lon, record.linkId, record.linkRef, record.areaCode,
                   record.shortName, nullptr, nullptr, name.c_str());
    }
    return IDOK;
}

std::u16string ListPath(int kind) {
    WCHAR path[MAX_PATH] = {};
    return FormatDataFilePath(kind, path);
}

}  // namespace

BEGIN_MESSAGE_MAP(CDestinationListDlg, CListScreenDlg)
ON_WM_PAINT()
ON_COMMAND(kNav, OnNav)
ON_COMMAND(kOrigin, OnOrigin)
ON_COMMAND(kDelete, OnDelete)
END_MESSAGE_MAP()

CDestinationListDlg::CDestinationListDlg(CWnd* parent, UINT templateId, UINT titleId, int listKind,
                                         CMapDatabase& database, IMainView* view)
    : CListScreenDlg(templateId, parent, true),
      m_database(database),
      m_view(view),
      m_titleId(titleId),
      m_listKind(listKind) {
    m_records.path = ListPath(listKind);
}

void CDestinationListDlg::DoDataExchange(CDataExchange* dx) {
    CDialog::DoDataExchange(dx);
    DDX_Control(dx, kNav, m_nav);
    DDX_Control(dx, kOrigin, m_origin);
    DDX_Control(dx, IDCANCEL, m_close);
    DDX_Control(dx, kDelete, m_delete);
    DDX_Control(dx, m_listKind == kListRecent ? kFav : kEdit, m_extra);
}

BOOL CDestinationListDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    StartScreen(*this);
    CreateScaledFont(&m_buttonFont, 14, FW_BOLD, nullptr);
    SetUpImageButton(m_nav, 367, &m_buttonFont, RGB(255, 255, 255));
    SetUpImageButton(m_origin, 367, &m_buttonFont, RGB(255, 255, 255));
    SetUpImageButton(m_delete, 380, &m_buttonFont, RGB(255, 255, 255));
    SetUpImageButton(m_close, 246, &m_buttonFont, RGB(255, 255, 255));
    CreateList();
    SetWindowText(kProductName);
    SetUpExtraButton();
    LayoutButtonRows(*this, {&m_nav, &m_origin, &m_extra, &m_delete, &m_close}, ScaleY(244));
    {
        CWaitCursor wait;
        // A list that cannot be read whole is shown empty and never written back.
        m_loaded = LoadRecords() == 0;
        if (m_loaded)
            AddRows();
    }
    m_list->SetSelection(0, FALSE, FALSE);
    m_list->ShowWindow(SW_SHOW);
    // The list has the focus: a focused image button would swallow Enter.
    m_list->SetFocus();
    SetWindowText(kProductName);
    return FALSE;
}

void CDestinationListDlg::AddRows() {
    for (size_t i = 0; i < ShownCount(); ++i) {
        const std::string text = RowText(*m_records.records[i]);
        m_list->AddItem(text.c_str(), 0);
    }
}

DestRecord* CDestinationListDlg::SelectedRecord() const {
    const int row = m_list ? m_list->selection : -1;
    if (!m_loaded || row < 0 || static_cast<size_t>(row) >= ShownCount() ||
        row >= m_list->GetCount())
        return nullptr;
    return m_records.records[static_cast<size_t>(row)];
}

void CDestinationListDlg::SaveIfChanged() {
    if (m_changed && m_loaded)
        m_records.Save();
}

void CDestinationListDlg::OnPaint() {
    CPaintDC dc(this);
    PaintScreenBackgroundAndTitle(dc, *this, m_titleId);
}

void CDestinationListDlg::OnCancel() {
    SaveIfChanged();
    EndDialog(IDCANCEL);
}

void CDestinationListDlg::OnNav() {
    SaveIfChanged();
    DestRecord* record = SelectedRecord();
    if (!record)
        return;
    GetRouterServices().ClearAvoidMarks();
    GetRouterServices().ResetRoute();
    record->RouteTo();
    EndDialog(kNav);
}

void CDestinationListDlg::OnOrigin() {
    SaveIfChanged();
    DestRecord* record = SelectedRecord();
    if (!record)
        return;
    MakeRecordTheOrigin(m_database, *record, m_view);
    EndDialog(kOrigin);
}

void CDestinationListDlg::OnDelete() {
    if (SelectedRecord())
        DeleteSelected();
}

void CDestinationListDlg::RemoveSelected() {
    const int row = m_list->selection;
    m_list->DeleteItem(row);
    delete m_records.records[static_cast<size_t>(row)];
    m_records.records.erase(m_records.records.begin() + row);
    m_changed = true;
    Invalidate(FALSE);
}

void CDestinationListDlg::DeleteSelected() {
    RemoveSelected();
    SaveIfChanged();
}

// ---- Favourites ---------------------------------------------------------------------

BEGIN_MESSAGE_MAP(CFavoritesDlg, CDestinationListDlg)
ON_COMMAND(kEdit, OnEdit)
END_MESSAGE_MAP()

CFavoritesDlg::CFavoritesDlg(CWnd* parent, CMapDatabase& database, IMainView* view)
    : CDestinationListDlg(parent, kFavoritesTemplate, 6117, kListFavorites, database, view) {}

void CFavoritesDlg::SetUpExtraButton() {
    SetUpImageButton(m_extra, 373, &m_buttonFont, RGB(255, 255, 255));
}

int CFavoritesDlg::LoadRecords() {
    return m_records.Load(1, 0);
}

void CFavoritesDlg::DeleteSelected() {
    RemoveSelected();
}

void CFavoritesDlg::OnEdit() {
    DestRecord* record = SelectedRecord();
    if (!record)
        return;
    if (RenameRecord(this, *record) != IDOK) {
        if (g_homeKeyPressed.load() != 0)
            EndDialog(IDCANCEL);
        return;
    }
    m_list->SetItemText(m_list->selection, RowText(*record).c_str(), TRUE);
    m_changed = true;
    Invalidate(FALSE);
}

// ---- Recent destinations ------------------------------------------------------------

BEGIN_MESSAGE_MAP(CRecentDlg, CDestinationListDlg)
ON_COMMAND(kFav, OnFav)
END_MESSAGE_MAP()

CRecentDlg::CRecentDlg(CWnd* parent, CMapDatabase& database, IMainView* view)
    : CDestinationListDlg(parent, kRecentTemplate, 6153, kListRecent, database, view) {}

void CRecentDlg::SetUpExtraButton() {
    SetUpImageButton(m_extra, 385, &m_buttonFont, RGB(255, 255, 255));
}

int CRecentDlg::LoadRecords() {
    // All of them: a delete writes back the entries past the shown ones too.
    return m_records.Load(0, 0);
}

size_t CRecentDlg::ShownCount() const {
    return std::min<size_t>(m_records.records.size(), kRecentShown);
}

void CRecentDlg::DeleteSelected() {
    CDestinationListDlg::DeleteSelected();
    // The entry that was 26th is shown now.
    if (m_list->GetCount() < static_cast<int>(ShownCount())) {
        const size_t next = static_cast<size_t>(m_list->GetCount());
        m_list->AddItem(RowText(*m_records.records[next]).c_str(), 0);
    }
}

void CRecentDlg::OnFav() {
    DestRecord* record = SelectedRecord();
    if (!record)
        return;
    const std::u16string favorites = ListPath(kListFavorites);
    const bool duplicate = CDestList::Find(*record, favorites) == 2;
    const std::u16string title = LoadResStringOr(6015, u"Add To Favorites");
    const std::u16string caption = LoadResStringOr(6040, u"Favorites");
    for (;;) {
        std::u16string message = platform::AnsiToWide(FavoriteEntryText(*record));
        if (duplicate)
            message = LoadResStringOr(6016, u"Duplicate Entry Found") + message;
        const int answer = AskAboutFavorite(this, title, message, caption, duplicate);
        if (g_homeKeyPressed.load() != 0) {
            EndDialog(IDCANCEL);
            return;
        }
        if (answer == kFavoriteAdd) {
            CDestList::Add(*record, favorites, FALSE, TRUE);
            return;
        }
        if (answer != kFavoriteEdit)
            return;
        if (RenameRecord(this, *record) != IDOK && g_homeKeyPressed.load() != 0) {
            EndDialog(IDCANCEL);
            return;
        }
    }
}
