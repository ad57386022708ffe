// Guidance Volume: the loudness of spoken guidance ("VolOvr", which the voice sets on
// the device for every phrase) on a slider with louder and softer keys, muting
// (option bit 0x200, which the voice tests before speaking) and a test word.
#pragma once

#include <cstdint>

#include "pathlume/foundation/full_screen_dialog.h"

inline constexpr UINT kGuidanceVolumeTemplateId = 1024;

// The slider, the mute state and the level kept while muted, apart from the window.
struct VolumeControl {
    static constexpr int kSliderMin = 1;
    static constexpr int kSliderMax = 65535;
    static constexpr int kStep = 8192;

    bool muted = false;
    uint32_t level = 0;  // a level word; may pass 65535, or wrap below 0, for a moment
    int slider = kSliderMin;

    // From the stored "VolOvr" (its low half) and the option word's mute bit.
    void Load(DWORD volume, bool mutedNow);
    // Puts the slider at the position as the slider control does: clamped.
    void SetSlider(int64_t position);
    // Mute or unmute; toggles the option word's mute bit and saves "Options".
    void ToggleMute(bool fromButton);
    void Louder();
    void Softer();
    // OK: the mute state in memory (the option bit is saved with the option word next
    // time) and the volume word to store, the same level in both halves.
    DWORD Accept();
};

class CGuidanceVolumeDlg : public CFullScreenDialog {
  public:
    static constexpr UINT kSliderId = 598;

    explicit CGuidanceVolumeDlg(CWnd* parent);

    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;
    // Stores the level as "VolOvr" and in the voice's override.
    void OnOK() override;

    VolumeControl m_volume;
    DWORD m_storedValue = 0;
    CImageButton m_mute, m_test, m_louder, m_softer, m_ok, m_cancel;
    CSliderCtrl m_slider;

  protected:
    void OnMute();
    void OnLouder();
    void OnSofter();
    // Plays the word "dest" at the slider's level, unless muted.
    void OnTest();
    void OnOtherCommand(UINT id);

    DECLARE_MESSAGE_MAP()

  private:
    // The slider control's position into m_volume and back.
    void ReadSlider();
    void ShowState();
};

// The dialog as the main view runs it (OptionDialogs' guidanceVolume slot).
int RunGuidanceVolumeDialog(CWnd* parent);
