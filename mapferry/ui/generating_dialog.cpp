#include "mapferry/ui/generating_dialog.h"

#include "mapferry/convert/file_services.h"
#include "mapferry/convert/map_generator.h"
#include "mapferry/convert/region_names.h"
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
                                     std::vector<DWORD> selection, int selectionCount, int mode,
                                     int targetKind, int targetIndex)
    : CDialog(kGeneratingTemplate, parent), m_mode(mode) {
    RegisterPageTemplates();
    m_pGenerator = generator;
    m_regionCount = selectionCount;
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

// ---- Copying a prepared map --------------------------------------------------------

BEGIN_MESSAGE_MAP(CCopyingMapsDialog, CDialog)
ON_WM_TIMER()
ON_WM_PAINT()
END_MESSAGE_MAP()

CCopyingMapsDialog::CCopyingMapsDialog(CWnd* parent, std::vector<std::u16string> sources,
                                       int targetKind, int targetIndex)
    : CDialog(kCopyingTemplate, parent), m_sources(std::move(sources)) {
    RegisterPageTemplates();
    m_targetKind = targetKind;
    m_targetIndex = targetIndex;
}

CCopyingMapsDialog::~CCopyingMapsDialog() {
    if (m_thread)
        CloseHandle(m_thread);
    delete m_pOwnGenerator;
}

BOOL CCopyingMapsDialog::OnInitDialog() {
    CDialog::OnInitDialog();
    LOGFONTW font{};
    font.lfHeight = 13;
    std::u16string(u"Tahoma").copy(font.lfFaceName, LF_FACESIZE - 1);
    m_font.CreateFontIndirect(&font);
    SetWindowText(u"Copying Maps");
    SendDlgItemMessageW(m_hWnd, kFileBar, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    SendDlgItemMessageW(m_hWnd, kOverallBar, PBM_SETRANGE, 0, MAKELPARAM(0, kDeviceFileCount));
    m_pOwnGenerator = new CMapGenerator;
    m_pGenerator = m_pOwnGenerator;
    m_pGenerator->AdoptDialogHandles(this);
    CGeneratingDlg* state = this;
    m_thread = CreateThread(nullptr, 0, CopyMapSetThreadProc, state, 0, nullptr);
    if (!m_thread) {
        EndDialog(2);
        return TRUE;
    }
    SetTimer(kTickTimer, 1000, nullptr);
    return TRUE;
}

DWORD WINAPI CCopyingMapsDialog::CopyMapSetThreadProc(LPVOID parameter) {
    auto* dialog = static_cast<CCopyingMapsDialog*>(static_cast<CGeneratingDlg*>(parameter));
    CMapGenerator& generator = *dialog->m_pGenerator;
    const std::u16string folder = MakeProgramTemporaryFolder();
    int staged = 0;
    for (int slot = 0; slot < CMapGenerator::kSlotCount && !folder.empty(); ++slot) {
        if (slot >= static_cast<int>(dialog->m_sources.size()) || dialog->m_cancelRequested.load())
            break;
        generator.m_deviceNames[slot] = kDeviceFileNames[slot];
        generator.m_tempPaths[slot] = folder + u"\\copy-" + kDeviceFileNames[slot];
        if (!CopyFileW(dialog->m_sources[slot].c_str(), generator.m_tempPaths[slot].c_str(), FALSE))
            break;
        ++staged;
    }
    // Everything there is, is ready: the copy thread copies it, and installs it only
    // when all sixteen arrived.
    generator.SetFileReady(staged);
    dialog->m_generationEnded = 1;
    if (staged < CMapGenerator::kSlotCount)
        MessageBoxW(nullptr,
                    FormatMessageText(MSG_ERR_READ_SOURCE,
                                      staged < static_cast<int>(dialog->m_sources.size())
                                          ? dialog->m_sources[staged].c_str()
                                          : u"")
                        .c_str(),
                    u"Wayscribe mapferry", MB_OK | MB_ICONSTOP);
    return CopyAsGeneratedThreadProc(parameter);
}

void CCopyingMapsDialog::OnCancel() {
    if (MessageBoxW(m_hWnd,
                    u"Abort File Copy ?\n\rAbort file copy will leave incomplete set of map data "
                    u"files on the target device.  Incomplete map data will be erased",
                    u"Abort File", MB_YESNO | MB_DEFBUTTON2 | MB_SYSTEMMODAL) != IDYES)
        return;
    m_cancelRequested = 1;
    if (m_hAbortEvent)
        SetEvent(m_hAbortEvent);
}

void CCopyingMapsDialog::OnTimer(UINT_PTR id) {
    if (id != kTickTimer || !Signalled(m_thread))
        return;
    KillTimer(kTickTimer);
    EndDialog(1);
}

void CCopyingMapsDialog::SetFileProgress(int percent) {
    CGeneratingDlg::SetFileProgress(percent);
    if (m_hWnd) {
        SetBar(m_hWnd, kFileBar, percent);
        Invalidate(FALSE);
        UpdateWindow();
    }
}

void CCopyingMapsDialog::SetOverallProgress(LPCWSTR caption, LPCWSTR fileName, int index,
                                            int stepFlag) {
    CGeneratingDlg::SetOverallProgress(caption, fileName, index, stepFlag);
    if (m_hWnd) {
        SetBar(m_hWnd, kOverallBar, GetOverallCount());
        Invalidate(FALSE);
        UpdateWindow();
    }
}

void CCopyingMapsDialog::OnPaint() {
    CPaintDC dc(this);
    CFont* old = dc.SelectObject(&m_font);
    dc.SetBkColor(GetSysColor(COLOR_BTNFACE));
    auto band = [this](int id) {
        CRect bar;
        GetDlgItem(id)->GetWindowRect(&bar);
        ScreenToClient(&bar);
        return CRect(bar.left, bar.top - kBand - 2, bar.right + 60, bar.top - 2);
    };
    const std::u16string caption = GetCaptionText();
    const std::u16string count = GetCountText();
    const std::u16string file = GetFileText();
    CRect top = band(kFileBar);
    dc.FillSolidRect(&top, GetSysColor(COLOR_BTNFACE));
    if (!caption.empty() && !count.empty() && !file.empty()) {
        WCHAR text[512];
        swprintf(text, std::size(text), u"%s (%s):  %s               ", caption.c_str(),
                 count.c_str(), file.c_str());
        dc.DrawText(text, -1, &top, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_LEFT);
    }
    CRect bottom = band(kOverallBar);
    dc.DrawText(u"Overall Progress", -1, &bottom, DT_WORDBREAK | DT_NOPREFIX | DT_LEFT);
    dc.SelectObject(old);
}

int CopyPrebuiltRegion(CWnd* page, int targetKind, int targetIndex, IDeviceLink* link) {
    WCHAR disc[MAX_PATH] = {};
    if (FindDataDisc(0, 1, disc, 0) != 0)
        return 0;
    const std::u16string folder = std::u16string(disc) + u"\\hawaii";
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return 0;
    // "namdict.bin" says what was installed: the prepared region alone.
    const std::u16string temporary = MakeProgramTemporaryFolder();
    if (temporary.empty())
        return 0;
    RegionTable table = ProgramRegions();
    const std::vector<DWORD> choice = {(static_cast<DWORD>(kPrebuiltRegionNumber) << 16) | 1u};
    ChooseRegions(&table, choice);
    const std::vector<uint8_t> namdict = RegionNameDictionary(choice, table);
    const std::u16string namdictPath = temporary + u"\\prebuilt-namdict.bin";
    HANDLE file = CreateFileW(namdictPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    DWORD written = 0;
    const BOOL ok =
        WriteFile(file, namdict.data(), static_cast<DWORD>(namdict.size()), &written, nullptr);
    CloseHandle(file);
    std::vector<std::u16string> sources;
    for (const char16_t* name : kDeviceFileNames)
        sources.push_back(std::u16string(name) == u"namdict.bin" ? namdictPath
                                                                 : folder + u"\\" + name);
    if (ok && written == namdict.size()) {
        CCopyingMapsDialog dialog(page, std::move(sources), targetKind, targetIndex);
        dialog.m_pDeviceLink = link;
        dialog.DoModal();
    }
    DeleteFileW(namdictPath.c_str());
    return 1;
}
