// The target combo both pages share: the prompt, the handheld's entries and the PC
// drives; the chosen target with its free space, the existing-map question, and the
// checks before a map is made.
#pragma once

#include <string>

#include "mapferry/convert/installer_services.h"
#include "mapferry/ui/target_location.h"
#include "platform/afx/afx.h"

// Target combo entries' data.
inline constexpr DWORD kTargetPromptData = 0;
inline constexpr DWORD kStorageCardData = 0x10000;
inline constexpr DWORD kMainMemoryData = 0x20000;
inline constexpr DWORD kPcDriveData = 0x30000;

inline constexpr int kTargetText = 1003;
inline constexpr int kAvailableSpace = 1004;
inline constexpr int kTargetCombo = 1022;

class CTargetChoice {
  public:
    // The page owning combo 1022 and edit 1004; the city page asks about an installed
    // map in its own words.
    void Attach(CWnd* page, bool cityPage = false);
    // The application's device link: without it the handheld is not offered.
    void SetHolder(CDeviceLinkHolder* holder) { m_pHolder = holder; }
    // The link a run on the handheld goes through; null for a PC drive or none.
    IDeviceLink* Link() const;
    // The prompt, the handheld's entries when it can be reached, the drives; the
    // prompt selected.
    void Fill();
    void OnDropDown();
    void OnCloseUp();
    // The entry chosen becomes the target; a PC drive is measured and its installed
    // map asked about, Cancel taking the choice back.
    void OnChanged();
    // Back to the prompt, every free figure 0.
    void Reset();
    // Edit 1004: "%.0f MB", "Not Available" or "0 MB" for no target.
    void UpdateAvailableSpace(int measure);
    // The target as edit 1003 names it.
    std::u16string TargetText() const;
    // Before a map is made: a target with room for neededMB. False after saying
    // what is wrong. systemModal: the missing-target and no-space messages are.
    bool Ready(unsigned long neededMB, bool systemModal);

    int Kind() const { return m_kind; }
    // The card index for a storage card, else the drive index.
    int Index() const { return m_kind == kTargetStorageCard ? m_card : m_drive; }
    double PcFree() const { return m_pcFree; }
    // Before a map is made: the navigation program on a connected handheld is asked
    // to close.
    void CloseDeviceProgram();

  private:
    void AddDriveEntries(int reselectDrive);
    // Connects (the Connecting dialog) and measures; false when the handheld could
    // not be reached.
    bool MeasureMainMemoryFree();
    bool MeasureStorageCardFree();
    void ChooseStorageCard();
    bool Connected() const;
    // The installed map's question; Cancel takes the target back.
    void AskAboutInstalledMap();
    double FreeOfKind() const;

    CWnd* m_pPage = nullptr;
    CDeviceLinkHolder* m_pHolder = nullptr;
    bool m_cityPage = false;
    CComboBox m_combo;
    int m_kind = 0;
    int m_drive = 2;
    int m_card = -1;
    double m_cardFree = 0.0;
    double m_mainFree = 0.0;
    double m_pcFree = 0.0;
};
