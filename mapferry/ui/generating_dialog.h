// The generating dialog: the generation and the copy threads behind three bars and
// their captions, with Cancel and the clean-up wait after it.
#pragma once

#include <vector>

#include "mapferry/convert/installer_services.h"
#include "platform/afx/afx.h"

class CMapGenerator;
class CNoticeDlg;

inline constexpr UINT kGeneratingTemplate = 150;
inline constexpr UINT kCleanupTemplate = 147;
inline constexpr int kGenerationBar = 1027;
inline constexpr int kFileBar = 1023;
inline constexpr int kOverallBar = 1020;
inline constexpr int kGeneratingPicture = 1010;

// The window over the state the threads share (CGeneratingDlg): the progress calls
// set its bars and repaint it.
class CGeneratingDialog : public CDialog, public CGeneratingDlg {
  public:
    // mode 0: selection holds selectionCount choice words; mode 1: the city
    // rectangle's eight values, with selectionCount the state row.
    CGeneratingDialog(CWnd* parent, CMapGenerator* generator, std::vector<DWORD> selection,
                      int selectionCount, int mode, int targetKind, int targetIndex);
    ~CGeneratingDialog() override;

    BOOL OnInitDialog() override;
    void OnCancel() override;
    void OnOK() override {}

    void SetFileProgress(int percent) override;
    void SetOverallProgress(LPCWSTR caption, LPCWSTR fileName, int index, int stepFlag) override;

    // The caption drawn above the generation bar for a generator file index.
    static std::u16string GenerationCaption(int fileIndex, const CMapGenerator& generator);
    // Whether the copy thread ran (so the files it handled are its business).
    bool CopyThreadRan() const { return m_copyThreadRan; }

  protected:
    void OnTimer(UINT_PTR id);
    void OnPaint();
    void OnMouseMove(UINT flags, CPoint point);
    DECLARE_MESSAGE_MAP()

  private:
    void StopGeneration();
    void CloseNotice();
    void Redraw();

    int m_mode = 0;
    HANDLE m_generationThread = nullptr;
    HANDLE m_copyThread = nullptr;
    bool m_copyFinished = false;
    bool m_generationFinished = false;
    bool m_copyThreadRan = false;
    HANDLE m_generationEndedEvent = nullptr;
    int m_animation = 0;
    int m_paintedIndex = -2;
    CNoticeDlg* m_pNotice = nullptr;
    bool m_noticeShown = false;
    bool m_noticeClosed = false;
    CFont m_font;
};

// Waits, with a moving bar, until the event is signalled.
class CCleanupDlg : public CDialog {
  public:
    CCleanupDlg(CWnd* parent, HANDLE event);
    BOOL OnInitDialog() override;
    void OnCancel() override {}
    void OnOK() override {}

  protected:
    void OnTimer(UINT_PTR id);
    DECLARE_MESSAGE_MAP()

  private:
    HANDLE m_event;
    int m_position = 0;
};

inline constexpr UINT kCopyingTemplate = 138;

// The copying dialog: a prepared set of sixteen files copied to the target through
// the copy thread's staging and swap, so that Cancel or a failure keeps the installed
// map.
class CCopyingMapsDialog : public CDialog, public CGeneratingDlg {
  public:
    // sources: the sixteen files in device-file order (kDeviceFileNames).
    CCopyingMapsDialog(CWnd* parent, std::vector<std::u16string> sources, int targetKind,
                       int targetIndex);
    ~CCopyingMapsDialog() override;

    BOOL OnInitDialog() override;
    void OnCancel() override;
    void OnOK() override {}

    void SetFileProgress(int percent) override;
    void SetOverallProgress(LPCWSTR caption, LPCWSTR fileName, int index, int stepFlag) override;

    // Stages the sources into the temporary folder, then runs the copy thread over
    // them.
    static DWORD WINAPI CopyMapSetThreadProc(LPVOID dialog);

  protected:
    void OnTimer(UINT_PTR id);
    void OnPaint();
    DECLARE_MESSAGE_MAP()

  private:
    std::vector<std::u16string> m_sources;
    CMapGenerator* m_pOwnGenerator = nullptr;
    HANDLE m_thread = nullptr;
    CFont m_font;
};

// After the generating dialog: frees the converters and the temporary files of the
// run, whatever became of it.
void FinishGeneration(CMapGenerator* generator);

// The prepared region's files copied to the target under the copying dialog; 0 when
// its folder is not on the disc.
int CopyPrebuiltRegion(CWnd* page, int targetKind, int targetIndex, IDeviceLink* link);
