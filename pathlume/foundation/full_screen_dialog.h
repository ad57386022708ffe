// What the program's full-screen dialogs share (the option dialogs and the search
// screens): the whole screen with the title bar's Done button hidden and the window
// named "Travona", a picture drawn off screen over the shared background with the
// title strip, image buttons with white text in a bold 14-unit "Tahoma", buttons
// given the dialog background brush, Escape and Home, and every other key passed on
// to the screen behind.
#pragma once

#include <initializer_list>
#include <utility>

#include "pathlume/foundation/map_button.h"
#include "pathlume/foundation/owner_draw.h"
#include "platform/afx/afx.h"

// Faces of the screens' image buttons (res/resources.md).
inline constexpr UINT kFaceOk = 367;
inline constexpr UINT kFaceCancel = 369;
inline constexpr UINT kFaceCloseKey = 246;
inline constexpr UINT kFaceOkKey = 247;
inline constexpr UINT kFaceShort = 380;
inline constexpr UINT kFaceWide = 385;

class CFullScreenDialog : public CDialog {
  public:
    // Which key presses PreTranslateMessage takes from the dialog manager and hands to
    // OnKeyDown (a dialog manager would otherwise move the focus or press a button).
    enum class TakenKeys {
        kEscapeAndHome,
        // Space, Enter, Escape, Home, the arrows and Select.
        kNavigation,
        // Enter, Escape, Home, the arrows and Select.
        kEnterAndNavigation,
    };

    // With passKeysOn every key OnKeyDown does not use is posted to the parent (or to
    // the main view without one), so that the screen behind keeps its keys.
    CFullScreenDialog(UINT templateId, CWnd* parent, TakenKeys taken, bool passKeysOn);
    ~CFullScreenDialog() override;

    BOOL PreTranslateMessage(MSG* msg) override;

    // The dialogs' label font: bold "Tahoma" 14, scaled.
    CFont m_labelFont;

  protected:
    // The start of OnInitDialog: the whole screen, the library's initialisation, the
    // Done button hidden, the label font.
    void BeginScreen();
    // The end of OnInitDialog: the window's name.
    void FinishScreen();
    // Binds each control id to its object (the data exchange of the dialogs).
    static void BindControls(CDataExchange* dx,
                             std::initializer_list<std::pair<int, CWnd*>> controls);
    // The image button's face, with white text in the label font (or the given one),
    // sized to the face.
    void SetFace(CImageButton& button, UINT faceId, CFont* font = nullptr);

    // Draws the texts of the labels (hidden controls that only give their text and
    // place) at their rectangles' top left, black, in the label font.
    void DrawLabels(CDC& dc, std::initializer_list<UINT> ids);

    // The title drawn on the strip: null draws the window's own text.
    virtual LPCWSTR ScreenTitle() { return nullptr; }
    // Draws the dialog's own texts over the background and title, off screen.
    virtual void DrawScreen(CDC& dc) { (void)dc; }

    // A key press, from PreTranslateMessage or WM_KEYDOWN: Escape cancels; Home sets
    // g_homeKeyPressed and cancels; other keys are passed on. False for a key it did
    // not use, which then gets the default handling.
    virtual bool OnScreenKey(UINT key, UINT repeat, UINT flags);
    void OnKeyDown(UINT key, UINT repeat, UINT flags);
    void OnPaint();
    BOOL OnEraseBkgnd(CDC* dc);
    // Buttons get the dialog background brush, everything else the library's answer.
    HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT kind);

    DECLARE_MESSAGE_MAP()

  private:
    void ReleaseBuffer();

    TakenKeys taken_;
    bool passKeysOn_;
    HDC bufferDC_ = nullptr;
    HBITMAP bufferBitmap_ = nullptr;
    HGDIOBJ previousBitmap_ = nullptr;
    SIZE bufferSize_{};
};

// Checks the chosen button of a radio group and clears the others; a button outside
// the group checks nothing.
void CheckRadioGroup(std::initializer_list<CMapButton*> group, const CMapButton* chosen);
// Checks the button of the group whose command id is given; false (nothing changed)
// when no button of the group has that id.
bool CheckRadioGroupById(std::initializer_list<CMapButton*> group, UINT id);
// The checked button of a group, or null.
CMapButton* CheckedButton(std::initializer_list<CMapButton*> group);

// Posts a key press to the window behind a screen: its parent, or the main view's
// window when it has none.
void PassKeyOn(CWnd* parent, UINT key, UINT repeat, UINT flags);
