#include "mapferry/ui/target_choice.h"

#include "mapferry/ui/device_link.h"
#include "mapferry/ui/messages.h"
#include "mapferry/ui/storage_card_dialog.h"
#include "mapferry/ui/target_drives.h"
#include "platform/user/dialogs.h"

namespace {

constexpr const char* kMainMemoryMaps = "\\Program Files\\Zanter\\Wayscribe\\maps";

std::string CardMaps(const std::u16string& card) {
    return platform::WideToAnsi((card.empty() ? std::u16string(u"\\Storage Card") : card) +
                                u"\\Zanter Wayscribe\\maps");
}

int Ask(CWnd* owner, const std::u16string& text, const std::u16string& caption, UINT type) {
    return MessageBoxW(owner ? owner->GetSafeHwnd() : nullptr, text.c_str(), caption.c_str(), type);
}

}  // namespace

void CTargetChoice::Attach(CWnd* page, bool cityPage) {
    m_pPage = page;
    m_cityPage = cityPage;
    m_combo.SubclassDlgItem(kTargetCombo, page);
}

void CTargetChoice::Fill() {
    m_combo.AddString(MSG_SELECT_TARGET_DEVICE.Get());
    m_combo.SetItemData(0, kTargetPromptData);
    if (m_pHolder && LoadRapiLibrary() == 0) {
        m_combo.SetItemData(m_combo.AddString(MSG_TARGET_STORAGE_CARD.Get()), kStorageCardData);
        m_combo.SetItemData(m_combo.AddString(MSG_TARGET_MAIN_MEMORY.Get()), kMainMemoryData);
    }
    AddDriveEntries(-1);
    m_combo.SetCurSel(0);
}

void CTargetChoice::AddDriveEntries(int reselectDrive) {
    for (int index = m_combo.GetCount() - 1; index >= 0; --index)
        if ((m_combo.GetItemData(index) & 0xFFFF0000) == kPcDriveData)
            m_combo.DeleteString(static_cast<UINT>(index));
    for (int drive : TargetDriveIndexes()) {
        const WCHAR text[] = {static_cast<WCHAR>(u'A' + drive), u':', 0};
        const int index = m_combo.AddString(text);
        m_combo.SetItemData(index, kPcDriveData | static_cast<DWORD>(drive));
        if (drive == reselectDrive)
            m_combo.SetCurSel(index);
    }
}

void CTargetChoice::OnDropDown() {
    if (m_combo.GetCount() > 0 && m_combo.GetItemData(0) == kTargetPromptData) {
        m_combo.DeleteString(0);
        m_combo.SetCurSel(-1);
    }
    const int selected = m_combo.GetCurSel();
    const DWORD data = selected >= 0 ? static_cast<DWORD>(m_combo.GetItemData(selected)) : 0;
    AddDriveEntries((data & 0xFFFF0000) == kPcDriveData ? static_cast<int>(data & 0xFFFF) : -1);
}

void CTargetChoice::OnCloseUp() {
    if (m_combo.GetCurSel() < 0) {
        m_combo.InsertString(0, MSG_SELECT_TARGET_DEVICE.Get());
        m_combo.SetItemData(0, kTargetPromptData);
        m_combo.SetCurSel(0);
    }
}

void CTargetChoice::Reset() {
    if (m_combo.GetCount() > 0 && m_combo.GetItemData(0) == kTargetPromptData)
        m_combo.DeleteString(0);
    for (int index = m_combo.GetCount() - 1; index >= 0; --index)
        if ((m_combo.GetItemData(index) & 0xFFFF0000) == kPcDriveData)
            m_combo.DeleteString(static_cast<UINT>(index));
    m_combo.SetCurSel(-1);
    m_cardFree = m_mainFree = m_pcFree = 0.0;
    m_kind = 0;
    OnCloseUp();
}

void CTargetChoice::OnChanged() {
    const int selected = m_combo.GetCurSel();
    if (selected > 0 && m_combo.GetItemData(0) == kTargetPromptData)
        m_combo.DeleteString(0);
    const int now = m_combo.GetCurSel();
    const DWORD data = now >= 0 ? static_cast<DWORD>(m_combo.GetItemData(now)) : 0;
    if ((data & 0xFFFF0000) == kMainMemoryData) {
        m_kind = kTargetMainMemory;
        if (MeasureMainMemoryFree())
            AskAboutInstalledMap();
    } else if ((data & 0xFFFF0000) == kStorageCardData) {
        ChooseStorageCard();
    } else if ((data & 0xFFFF0000) == kPcDriveData) {
        m_kind = kTargetPcDrive;
        m_drive = static_cast<int>(data & 0xFFFF);
        m_pcFree = MeasureDriveFreeMB(m_drive);
        AskAboutInstalledMap();
    } else {
        m_kind = 0;
    }
    UpdateAvailableSpace(0);
}

void CTargetChoice::CloseDeviceProgram() {
    if (CDeviceLink* link = m_pHolder ? m_pHolder->PeekDeviceLink() : nullptr)
        link->CloseDeviceProgram();
}

IDeviceLink* CTargetChoice::Link() const {
    if (!m_pHolder || (m_kind != kTargetStorageCard && m_kind != kTargetMainMemory))
        return nullptr;
    return m_pHolder->PeekDeviceLink();
}

bool CTargetChoice::Connected() const {
    CDeviceLink* link = m_pHolder ? m_pHolder->PeekDeviceLink() : nullptr;
    return link && m_pHolder->m_connectResult.load() == kConnectDone && link->IsServiceReady();
}

bool CTargetChoice::MeasureMainMemoryFree() {
    if (!m_pHolder || !ChooseTargetLocation(0, *m_pHolder, m_pPage) || !Connected()) {
        m_cardFree = m_mainFree = m_pcFree = 0.0;
        return false;
    }
    CDeviceLink* link = m_pHolder->PeekDeviceLink();
    double free = link->GetMainMemoryFree();
    if (DeviceVersion().dwMajorVersion <= 4) {
        free += static_cast<double>(link->GetMemoryStatusValue(3)) / 1048576.0 - 15.0;
        free = free > 0.0 ? free : 0.0;
    }
    m_mainFree = free + static_cast<double>(link->GetDeviceFolderSize(kMainMemoryMaps)) / 1048576.0;
    return true;
}

bool CTargetChoice::MeasureStorageCardFree() {
    if (!m_pHolder || !ChooseTargetLocation(0, *m_pHolder, m_pPage) || !Connected()) {
        m_cardFree = -1.0;
        m_card = -1;
        return false;
    }
    CDeviceLink* link = m_pHolder->PeekDeviceLink();
    m_cardFree = link->GetStorageCardFree(m_card) +
                 static_cast<double>(link->GetDeviceFolderSize(
                     CardMaps(link->GetStorageCardName(m_card)).c_str())) /
                     1048576.0;
    return true;
}

void CTargetChoice::ChooseStorageCard() {
    if (!m_pHolder || !ChooseTargetLocation(0, *m_pHolder, m_pPage) || !Connected()) {
        Reset();
        return;
    }
    CDeviceLink* link = m_pHolder->PeekDeviceLink();
    if (link->GetStorageCardCount() <= 0) {
        Ask(m_pPage, u"Storage card cannot be found.  Please make sure it is properly inserted.",
            u"", MB_OK);
        Reset();
        return;
    }
    CStorageCardDlg dialog(m_pPage, link);
    if (dialog.DoModal() != IDOK || dialog.m_cardIndex < 0) {
        Reset();
        return;
    }
    m_kind = kTargetStorageCard;
    m_card = dialog.m_cardIndex;
    m_cardFree = dialog.m_cardFree;
    if (MeasureStorageCardFree())
        AskAboutInstalledMap();
}

void CTargetChoice::AskAboutInstalledMap() {
    std::u16string question;
    if (m_kind == kTargetPcDrive) {
        question = ExistingMapQuestion(m_kind, m_drive, m_cityPage);
    } else if (CDeviceLink* link = m_pHolder ? m_pHolder->PeekDeviceLink() : nullptr) {
        const std::string folder = m_kind == kTargetStorageCard
                                       ? CardMaps(link->GetStorageCardName(m_card))
                                       : std::string(kMainMemoryMaps);
        std::vector<BYTE> bytes;
        if (link->ReadDeviceFile((folder + "\\namdict.bin").c_str(), &bytes) > 0)
            question = ExistingMapQuestionText(bytes, m_cityPage);
    }
    if (!question.empty() &&
        Ask(m_pPage, question, MSG_EXISTING_MAP_CAPTION.Get(),
            MB_OKCANCEL | MB_DEFBUTTON2 | MB_ICONQUESTION | MB_SYSTEMMODAL) != IDOK)
        Reset();
}

double CTargetChoice::FreeOfKind() const {
    switch (m_kind) {
        case kTargetStorageCard:
            return m_cardFree;
        case kTargetMainMemory:
            return m_mainFree;
        case kTargetPcDrive:
            return m_pcFree;
        default:
            return 0.0;
    }
}

void CTargetChoice::UpdateAvailableSpace(int measure) {
    if (m_kind == 0) {
        m_pPage->SetDlgItemText(kAvailableSpace, u"0 MB");
        return;
    }
    if (measure && m_kind == kTargetPcDrive)
        m_pcFree = MeasureDriveFreeMB(m_drive);
    else if (measure && m_kind == kTargetMainMemory)
        MeasureMainMemoryFree();
    else if (measure && m_kind == kTargetStorageCard)
        MeasureStorageCardFree();
    const double value = FreeOfKind();
    if (value == -1.0) {
        m_pPage->SetDlgItemText(kAvailableSpace, MSG_NOT_AVAILABLE.Get());
        return;
    }
    WCHAR text[64];
    swprintf(text, std::size(text), u"%.0f MB", value);
    m_pPage->SetDlgItemText(kAvailableSpace, text);
}

std::u16string CTargetChoice::TargetText() const {
    switch (m_kind) {
        case kTargetStorageCard:
            return MSG_TARGET_STORAGE_CARD.Get();
        case kTargetMainMemory:
            return MSG_TARGET_MAIN_MEMORY.Get();
        case kTargetPcDrive:
            return FormatMessageText(MSG_PC_LOCAL_DRIVE, static_cast<WCHAR>(u'A' + m_drive));
        default:
            return MSG_UNKNOWN_TARGET.Get();
    }
}

bool CTargetChoice::Ready(unsigned long neededMB, bool systemModal) {
    const UINT modal = systemModal ? MB_SYSTEMMODAL : 0;
    const bool reachable = (m_kind == kTargetStorageCard && m_cardFree > 0) ||
                           (m_kind == kTargetMainMemory && m_mainFree > 0) ||
                           m_kind == kTargetPcDrive;
    if (!reachable) {
        if (m_kind == 0)
            Ask(m_pPage, MSG_SELECT_A_TARGET.Get(), MSG_MISSING_TARGET_CAPTION.Get(),
                MB_OK | modal);
        else
            Ask(m_pPage, MSG_SPACE_NOT_AVAILABLE.Get(), MSG_UNAVAILABLE_SPACE_CAPTION.Get(),
                MB_OK | modal);
        return false;
    }
    if (m_kind == kTargetPcDrive) {
        const WCHAR root[] = {static_cast<WCHAR>(u'A' + m_drive), u':', u'\\', 0};
        const UINT type = GetDriveTypeW(root);
        if (type == DRIVE_UNKNOWN || type == DRIVE_NO_ROOT_DIR) {
            Ask(m_pPage, MSG_INVALID_LOCAL_DRIVE.Get(), MSG_INVALID_DRIVE_CAPTION.Get(),
                MB_OK | MB_ICONERROR | MB_SYSTEMMODAL);
            m_pcFree = -1.0;
            UpdateAvailableSpace(0);
            return false;
        }
    }
    const double free = FreeOfKind();
    const unsigned long capacity = free > 0 ? static_cast<unsigned long>(free) : 0;
    if (capacity < neededMB) {
        Ask(m_pPage, FormatMessageText(MSG_MAP_TOO_LARGE_FOR_DEVICE, capacity),
            MSG_MAP_SIZE_CAPTION.Get(), MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    return true;
}
