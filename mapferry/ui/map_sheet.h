// The installer's frame: the property sheet with the region and city pages, its
// commands, the About box, the welcome shown once and the notice shown while a map
// is generated.
#pragma once

#include <vector>

#include "mapferry/ui/city_page.h"
#include "mapferry/ui/region_page.h"
#include "platform/afx/afx.h"

inline constexpr UINT kAboutTemplate = 100;
inline constexpr UINT kNoticeTemplate = 154;
inline constexpr UINT kWelcomeTemplate = 179;
inline constexpr UINT kProgramIconId = 128;
inline constexpr UINT kCaptionStringId = 57344;
inline constexpr UINT kSheetMenu = 146;
inline constexpr int kWelcomeCheck = 1019;
inline constexpr int kWelcomeOk = 1018;
inline constexpr UINT kAboutCommand = 32772;
inline constexpr UINT kExitCommand = 32771;
// The result the sheet ends with for "Change Target Location".
inline constexpr int kChangeTargetResult = 100;

// Registers every dialog template of the installer (once).
void RegisterPageTemplates();

class CMapPropertySheet : public CPropertySheet {
  public:
    CMapPropertySheet(LPCWSTR caption, std::vector<DWORD>* regionIndex, CDeviceLinkHolder* holder,
                      UINT selectPage, int targetKind, int driveIndex);
    // The disc information of the program folder, and the pages.
    void Init();

    BOOL OnInitDialog() override;
    BOOL PreTranslateMessage(MSG* msg) override;

    CPropertyPageL0& RegionPage() { return m_regionPage; }
    CPropertyPageL0ByCity& CityPage() { return m_cityPage; }

  protected:
    void OnAbout();
    void OnExit();
    // The close box or Exit: the welcome, when it is up, goes with the sheet.
    void OnClose();
    DECLARE_MESSAGE_MAP()

  private:
    CPropertyPageL0ByCity m_cityPage;
    CPropertyPageL0 m_regionPage;
    std::vector<DWORD>* m_pRegionIndex;
    CDeviceLinkHolder* m_pHolder;
    int m_targetKind;
    int m_driveIndex;
};

// "Welcome to the Zanter Wayscribe mapferry": its check box stores "HelpOptions".
class CWelcomeDlg : public CDialog {
  public:
    explicit CWelcomeDlg(CWnd* parent);

  protected:
    HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT kind);
    void OnDontShow();
    void OnOkButton();
    DECLARE_MESSAGE_MAP()
};

// The notice that generating takes a while: any key, click or mouse movement over it
// ends it.
class CNoticeDlg : public CDialog {
  public:
    CNoticeDlg() = default;
    BOOL PreTranslateMessage(MSG* msg) override;

  protected:
    void OnPaint();
    HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT kind);
    DECLARE_MESSAGE_MAP()
};

void ShowWelcome(CWnd* parent);
// The welcome while it runs, else null.
extern CWelcomeDlg* g_pWelcome;
void ShowAboutBox(CWnd* parent);
// The program folder: the folder of the executable, "." when it cannot be had.
std::u16string FindProgramFolder();
