#include "mapferry/ui/generating_dialog.h"

#include "mapferry/convert/file_services.h"
#include "mapferry/convert/map_generator.h"
#include "mapferry/ui/map_sheet.h"
#include "mapferry/ui/messages.h"
#include "platform/user/dialogs.h"

namespace {

constexpr UINT_PTR kTickTimer = 1;
constexpr int kBand = 16;  // the caption band above each bar

void SetBar(HWND dialog, int id, int position) {
    SendDlgItemMessageW(dialog, id, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

bool Signalled(HANDLE handle) {
    return handle && WaitForSingleObject(handle, 0) == WAIT_OBJECT_0;
}

}  // namespace

BEGIN_MESSAGE_MAP(CGeneratingDialog, CDialog)
ON_WM_TIMER()
ON_WM_PAINT()
ON_WM_MOUSEMOVE()
END_MESSAGE_MAP()

CGeneratingDialog::CGeneratingDialog(CWnd* parent, CMapGenerator* generator,
                                     std::vector<DWORD> selection, int mode, int targetKind,
                                     int targetIndex)
    : CDialog(kGeneratingTemplate, parent), m_mode(mode) {
    RegisterPageTemplates();
    m_pGenerator = generator;
    m_regionCount = mode == 0 ? static_cast<int>(selection.size()) : 0;
    m_regionList = std::move(selection);
    m_targetKind = targetKind;
    m_targetIndex = targetIndex;
}

CGeneratingDialog::~CGeneratingDialog() {
    CloseNotice();
    if (m_generationThread)
        CloseHandle(m_generationThread);
    if (m_copyThread)
        CloseHandle(m_copyThread);
    if (m_generationEndedEvent)
        CloseHandle(m_generationEndedEvent);
}

BOOL CGeneratingDialog::OnInitDialog() {
    CDialog::OnInitDialog();
    LOGFONTW font{};
    font.lfHeight = 13;
    std::u16string(u"Tahoma").copy(font.lfFaceName, LF_FACESIZE - 1);
    m_font.CreateFontIndirect(&font);
    SetWindowText(u"Generating Map");
    SendDlgItemMessageW(m_hWnd, kGenerationBar, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    SendDlgItemMessageW(m_hWnd, kFileBar, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    SendDlgItemMessageW(m_hWnd, kOverallBar, PBM_SETRANGE, 0, MAKELPARAM(0, kDeviceFileCount));
    m_generationEndedEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    m_pGenerator->AdoptDialogHandles(this);
    g_cancelFlag = 0;

    CGeneratingDlg* state = this;
    m_generationThread =
        CreateThread(nullptr, 0, m_mode == 0 ? GenerateRegionsThreadProc : GenerateCityThreadProc,
                     state, CREATE_SUSPENDED, nullptr);
    if (!m_generationThread) {
        EndDialog(2);
        return TRUE;
    }
    m_copyThread =
        CreateThread(nullptr, 0, CopyAsGeneratedThreadProc, state, CREATE_SUSPENDED, nullptr);
    ResumeThread(m_generationThread);
    if (m_copyThread) {
        m_copyThreadRan = true;
        ResumeThread(m_copyThread);
    } else {
        // Without the copy thread nothing would reach the target: the generation is
        // stopped and the dialog ends once it has.
        m_copyFinished = true;
        StopGeneration();
    }
    SetTimer(kTickTimer, 1000, nullptr);
    return TRUE;
}

void CGeneratingDialog::StopGeneration() {
    m_cancelRequested = 1;
    if (m_hAbortEvent)
        SetEvent(m_hAbortEvent);
    if (m_pGenerator && m_pGenerator->m_hReadyEvent)
        SetEvent(m_pGenerator->m_hReadyEvent);
    g_cancelFlag = 1;
}

void CGeneratingDialog::OnCancel() {
    if (MessageBoxW(m_hWnd, MSG_CONFIRM_ABORT.Get(), MSG_ABORT_CAPTION.Get(),
                    MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
        return;
    StopGeneration();
    if (!m_generationFinished && !m_generationReturned.load()) {
        CCleanupDlg cleanup(this, m_generationEndedEvent);
        cleanup.DoModal();
    }
}

void CGeneratingDialog::CloseNotice() {
    if (m_pNotice) {
        m_pNotice->DestroyWindow();
        delete m_pNotice;
        m_pNotice = nullptr;
    }
    if (m_noticeShown)
        m_noticeClosed = true;
}

void CGeneratingDialog::OnMouseMove(UINT, CPoint) {
    if (m_noticeShown && !m_noticeClosed)
        CloseNotice();
}

void CGeneratingDialog::OnTimer(UINT_PTR id) {
    if (id != kTickTimer)
        return;
    if (m_copyThread && !m_copyFinished && Signalled(m_copyThread))
        m_copyFinished = true;
    const int fileIndex = m_pGenerator->m_stepCount.load();
    if (!m_generationReturned.load()) {
        if (m_cancelRequested.load() || g_internalErrorFlag.load()) {
            SetBar(m_hWnd, kGenerationBar, 0);
        } else if (fileIndex >= 0) {
            if (!m_noticeShown) {
                m_noticeShown = true;
                m_pNotice = new CNoticeDlg;
                m_pNotice->Create(kNoticeTemplate, this);
                m_pNotice->ShowWindow(SW_SHOW);
            }
            m_animation = m_animation >= 100 ? 0 : m_animation + 10;
            SetBar(m_hWnd, kGenerationBar, m_animation);
        }
    } else if (!m_generationFinished) {
        SetBar(m_hWnd, kGenerationBar, 100);
        if (Signalled(m_generationThread)) {
            m_generationFinished = true;
            m_generationEnded = 1;
            SetEvent(m_generationEndedEvent);
        }
    }
    if (!m_cancelRequested.load() && fileIndex > m_paintedIndex)
        Redraw();
    if (m_copyFinished && m_generationFinished) {
        CloseNotice();
        KillTimer(kTickTimer);
        EndDialog(1);
    }
}

void CGeneratingDialog::Redraw() {
    if (m_hWnd) {
        Invalidate(FALSE);
        UpdateWindow();
    }
}

void CGeneratingDialog::SetFileProgress(int percent) {
    CGeneratingDlg::SetFileProgress(percent);
    if (m_hWnd) {
        SetBar(m_hWnd, kFileBar, percent);
        Redraw();
    }
}

void CGeneratingDialog::SetOverallProgress(LPCWSTR caption, LPCWSTR fileName, int index,
                                           int stepFlag) {
    CGeneratingDlg::SetOverallProgress(caption, fileName, index, stepFlag);
    if (m_hWnd) {
        SetBar(m_hWnd, kOverallBar, GetOverallCount());
        Redraw();
    }
}

std::u16string CGeneratingDialog::GenerationCaption(int fileIndex, const CMapGenerator& generator) {
    if (fileIndex < 0)
        return MSG_PREPARING_FILES.Get();
    if (fileIndex >= kDeviceFileCount)
        return u"Map Generation Completed." + std::u16string(40, u' ');
    std::u16string name = generator.m_deviceNames[fileIndex];
    if (name.empty())
        return MSG_GENERATING_FILES.Get();
    const size_t slash = name.rfind(u'\\');
    if (slash != std::u16string::npos) {
        name = name.substr(slash + 1);
        const size_t bin = name.find(u".bin");
        if (bin != std::u16string::npos)
            name.resize(bin);
    }
    return FormatMessageText(MSG_GENERATING_FILE, name.c_str());
}

void CGeneratingDialog::OnPaint() {
    CPaintDC dc(this);
    CFont* old = dc.SelectObject(&m_font);
    dc.SetBkColor(GetSysColor(COLOR_BTNFACE));
    dc.SetTextColor(RGB(0, 0, 0));
    auto band = [this](int id) {
        CRect bar;
        GetDlgItem(id)->GetWindowRect(&bar);
        ScreenToClient(&bar);
        return CRect(bar.left, bar.top - kBand - 2, bar.right + 60, bar.top - 2);
    };
    auto draw = [&dc](const std::u16string& text, CRect rect) {
        dc.FillSolidRect(&rect, GetSysColor(COLOR_BTNFACE));
        dc.DrawText(text.c_str(), static_cast<int>(text.size()), &rect,
                    DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_LEFT);
    };
    const int fileIndex = m_pGenerator->m_stepCount.load();
    draw(GenerationCaption(fileIndex, *m_pGenerator), band(kGenerationBar));
    m_paintedIndex = fileIndex;
    const std::u16string caption = GetCaptionText();
    const std::u16string count = GetCountText();
    const std::u16string file = GetFileText();
    if (!caption.empty() && !count.empty() && !file.empty()) {
        WCHAR text[512];
        swprintf(text, std::size(text), u"%s (%s):  %s               ", caption.c_str(),
                 count.c_str(), file.c_str());
        draw(text, band(kFileBar));
    }
    draw(MSG_OVERALL_PROGRESS.Get(), band(kOverallBar));
    const std::u16string folder = GetTargetFolder();
    if (!folder.empty()) {
        CRect cancel;
        GetDlgItem(IDCANCEL)->GetWindowRect(&cancel);
        ScreenToClient(&cancel);
        CRect location(band(kOverallBar).left, cancel.top - kBand - 4, cancel.right,
                       cancel.top - 4);
        draw(FormatMessageText(MSG_MAP_LOCATION, folder.c_str()), location);
    }
    dc.SelectObject(old);
}

// ---- Clean-up ----------------------------------------------------------------------

BEGIN_MESSAGE_MAP(CCleanupDlg, CDialog)
ON_WM_TIMER()
END_MESSAGE_MAP()

CCleanupDlg::CCleanupDlg(CWnd* parent, HANDLE event)
    : CDialog(kCleanupTemplate, parent), m_event(event) {
    RegisterPageTemplates();
}

BOOL CCleanupDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    SetWindowText(u"Cleaning up");
    SendDlgItemMessageW(m_hWnd, kOverallBar, PBM_SETRANGE, 0, MAKELPARAM(0, 120));
    SetTimer(kTickTimer, 500, nullptr);
    return TRUE;
}

void CCleanupDlg::OnTimer(UINT_PTR id) {
    if (id != kTickTimer)
        return;
    if (Signalled(m_event)) {
        KillTimer(kTickTimer);
        EndDialog(1);
        return;
    }
    m_position = m_position >= 120 ? 0 : m_position + 10;
    SetBar(m_hWnd, kOverallBar, m_position);
}

// ---- After the run -----------------------------------------------------------------

void FinishGeneration(CMapGenerator* generator) {
    // The copy thread has dealt with every file it took; what is left in the
    // temporary folder is of no use, and copying it again would copy files the copy
    // thread may already have removed.
    generator->FreeConverters(1);
    for (int slot = 0; slot < CMapGenerator::kSlotCount; ++slot)
        if (!generator->m_tempPaths[slot].empty())
            DeleteFileW(generator->m_tempPaths[slot].c_str());
    g_cancelFlag = 0;
}

void CopyPrebuiltRegion(CWnd* page, int, int, int) {
    // The copy-only dialog is not there yet: say so rather than report an
    // installation that did not happen.
    MessageBoxW(page ? page->GetSafeHwnd() : nullptr,
                u"The prepared region cannot be installed by this version.", u"Wayscribe mapferry",
                MB_OK | MB_ICONSTOP);
}
