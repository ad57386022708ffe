#include "pathlume/shell/volume_dialog.h"

#include <algorithm>
#include <mutex>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/shell/dialog_parts.h"
#include "pathlume/voice/speex_player.h"
#include "pathlume/voice/voice_prompt.h"
#include "platform/audio/audio.h"
#include "platform/user/controls.h"
#include "platform/user/dialogs.h"

namespace {

enum : WORD {
    kLouder = 599,
    kSofter = 601,
    kTest = 613,
    kMute = 614,
};

constexpr UINT kLouderFace = 128;
constexpr UINT kSofterFace = 129;
constexpr UINT kMuteFace = 143;
constexpr UINT kTestFace = 144;
constexpr UINT kStringMute = 6075;
constexpr UINT kStringUnmute = 6165;
constexpr UINT kFirstCommand = 500;
constexpr UINT kLastCommand = 999;
// The test word is heard at the slider's level before the device's level returns.
constexpr DWORD kTestTailMs = 250;

constexpr uint32_t kLevelUnderflow = 0xFFFFFFFF;

// Positions are QVGA pixels.
constexpr ScreenItem kGuidanceVolumeItems[] = {
    {kSofter, u"", 8, 120, 32, 32},
    {CGuidanceVolumeDlg::kSliderId, u"Slider2", 44, 120, 152, 32, ScreenItem::kTrackbar},
    {kLouder, u"", 200, 120, 32, 32},
    {kTest, u"Test", 30, 190, 64, 26},
    {kMute, u"Mute", 146, 190, 64, 26},
    {IDOK, u"OK", 16, 284, 64, 26},
    {IDCANCEL, u"", 196, 282, 29, 29}};

void RegisterGuidanceVolumeTemplate() {
    RegisterScreenTemplate(kGuidanceVolumeTemplateId, u"Guidance Volume", kGuidanceVolumeItems);
}

std::once_flag g_volumeTemplate;

}  // namespace

// ---- The control -----------------------------------------------------------------

void VolumeControl::Load(DWORD volume, bool mutedNow) {
    muted = mutedNow;
    // Halves that differ: the left (low) one counts.
    level = LOWORD(volume);
    // Decided: no override (0) shows the slider at its top, the device's own level,
    // because at its bottom an OK that changed nothing would mute guidance.
    if (level == 0)
        level = kSliderMax;
    SetSlider(muted ? kSliderMin : static_cast<int64_t>(level));
}

void VolumeControl::SetSlider(int64_t position) {
    slider = static_cast<int>(std::clamp<int64_t>(position, kSliderMin, kSliderMax));
}

void VolumeControl::ToggleMute(bool fromButton) {
    ToggleOptionFlag(kOptionVoiceMuted);
    if (muted) {
        muted = false;
        if (fromButton && (level == 1 || level == kLevelUnderflow))
            level += kStep;
        SetSlider(static_cast<int32_t>(level));
    } else {
        muted = true;
        level = static_cast<uint32_t>(slider);
        SetSlider(0);
    }
}

void VolumeControl::Louder() {
    if (muted)
        ToggleMute(false);
    level = static_cast<uint32_t>(slider + kStep);
    SetSlider(static_cast<int32_t>(level));
}

void VolumeControl::Softer() {
    if (muted && level > 1)
        ToggleMute(false);
    if (slider >= kStep - 1)
        level = static_cast<uint32_t>(slider - kStep);
    SetSlider(static_cast<int32_t>(level));
    if (!muted && (level == 1 || level == kLevelUnderflow))
        ToggleMute(false);
}

DWORD VolumeControl::Accept() {
    uint32_t accepted;
    if (slider > kSliderMin) {
        muted = false;
        g_options.fetch_and(~kOptionVoiceMuted);
        accepted = static_cast<uint32_t>(slider);
    } else {
        muted = true;
        g_options.fetch_or(kOptionVoiceMuted);
        accepted = level;
    }
    // A kept level past the slider's end (raised by Louder, then the slider dragged
    // down) would spill into the other half of the word.
    accepted = std::clamp<uint32_t>(accepted, 1, kSliderMax);
    return accepted | accepted << 16;
}

// ---- The dialog ------------------------------------------------------------------

BEGIN_MESSAGE_MAP(CGuidanceVolumeDlg, CFullScreenDialog)
ON_COMMAND(kMute, OnMute)
ON_COMMAND(kLouder, OnLouder)
ON_COMMAND(kSofter, OnSofter)
ON_COMMAND(kTest, OnTest)
ON_COMMAND_RANGE(kFirstCommand, kLastCommand, OnOtherCommand)
END_MESSAGE_MAP()

CGuidanceVolumeDlg::CGuidanceVolumeDlg(CWnd* parent)
    : CFullScreenDialog(kGuidanceVolumeTemplateId, parent, TakenKeys::kEscapeAndHome, true) {
    std::call_once(g_volumeTemplate, RegisterGuidanceVolumeTemplate);
}

void CGuidanceVolumeDlg::DoDataExchange(CDataExchange* dx) {
    CDialog::DoDataExchange(dx);
    BindControls(dx, {{kMute, &m_mute},
                      {kTest, &m_test},
                      {kLouder, &m_louder},
                      {kSofter, &m_softer},
                      {IDOK, &m_ok},
                      {IDCANCEL, &m_cancel},
                      {kSliderId, &m_slider}});
}

BOOL CGuidanceVolumeDlg::OnInitDialog() {
    BeginScreen();
    PlaceScreenItems(*this, kGuidanceVolumeItems);
    SetFace(m_test, kTestFace);
    SetFace(m_mute, kMuteFace);
    SetFace(m_louder, kLouderFace);
    SetFace(m_softer, kSofterFace);
    SetFace(m_ok, kFaceOk);
    SetFace(m_cancel, kFaceCloseKey);
    m_storedValue =
        RegGetDword(HKEY_CURRENT_USER, kSettingsKey, u"VolOvr", g_volumeOverride.load());
    m_slider.SetRange(VolumeControl::kSliderMin, VolumeControl::kSliderMax, FALSE);
    m_volume.Load(m_storedValue, (g_options.load() & kOptionVoiceMuted) != 0);
    ShowState();
    FinishScreen();
    return TRUE;
}

void CGuidanceVolumeDlg::ReadSlider() {
    m_volume.slider = m_slider.GetPos();
}

void CGuidanceVolumeDlg::ShowState() {
    m_slider.SetPos(m_volume.slider);
    const std::u16string caption = m_volume.muted ? LoadResStringOr(kStringUnmute, u"UnMute")
                                                  : LoadResStringOr(kStringMute, u"Mute");
    m_mute.SetWindowText(caption.c_str());
    m_mute.Invalidate(FALSE);
}

void CGuidanceVolumeDlg::OnMute() {
    ReadSlider();
    m_volume.ToggleMute(true);
    ShowState();
}

void CGuidanceVolumeDlg::OnLouder() {
    ReadSlider();
    m_volume.Louder();
    ShowState();
}

void CGuidanceVolumeDlg::OnSofter() {
    ReadSlider();
    m_volume.Softer();
    ShowState();
}

void CGuidanceVolumeDlg::OnTest() {
    ReadSlider();
    if (m_volume.muted)
        return;
    DWORD saved = 0;
    waveOutGetVolume(nullptr, &saved);
    const DWORD level = static_cast<DWORD>(m_volume.slider);
    waveOutSetVolume(nullptr, level | level << 16);
    {
        CVoicePrompt prompt;
        WCHAR path[MAX_PATH] = {};
        prompt.BuildFileName(u"dest", path);
        if (path[0]) {
            if (g_speexPrompts.load())
                PlaySpeexFile(path);
            else
                sndPlaySoundW(path, 0);
        }
    }
    Sleep(kTestTailMs);
    waveOutSetVolume(nullptr, saved);
}

void CGuidanceVolumeDlg::OnOtherCommand(UINT id) {
    EndDialog(static_cast<int>(id));
}

void CGuidanceVolumeDlg::OnOK() {
    ReadSlider();
    const DWORD value = m_volume.Accept();
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"VolOvr", value);
    g_volumeOverride.store(value);
    EndDialog(IDOK);
}

int RunGuidanceVolumeDialog(CWnd* parent) {
    CGuidanceVolumeDlg dialog(parent);
    return static_cast<int>(dialog.DoModal());
}
