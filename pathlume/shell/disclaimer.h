// The safety disclaimer shown at every start with map data while the map loads.
#pragma once

#include "pathlume/foundation/owner_draw.h"
#include "platform/afx/afx.h"

class CMapView;

inline constexpr UINT kDisclaimerTemplateId = 1028;

class CDisclaimerDlg : public CDialog {
  public:
    // The loader's thread handle stays the caller's; the map view is asked to stop
    // loading when the disclaimer is refused.
    CDisclaimerDlg(HANDLE mapLoader, CMapView* mapView, CWnd* parent);
    ~CDisclaimerDlg() override = default;

    // Headless (OwnBoxesAnsweredAsMessageBoxes) the disclaimer is a MessageBoxW whose
    // default is the refusal: only a script's answer accepts it.
    INT_PTR DoModal() override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    BOOL PreTranslateMessage(MSG* msg) override;
    void DoDataExchange(CDataExchange* dx) override;

  protected:
    void OnPaint();
    void OnKeyDown(UINT key, UINT repeat, UINT flags);
    bool LoaderRunning() const;
    // Accepting waits for the loader; refusing asks it to stop.
    void WaitForLoader();
    void StopLoader();
    // Fits the text, the picture and the buttons to the screen's form: the text in
    // the largest font that keeps it whole above the buttons, the picture below it
    // only where it has room, the buttons side by side on the bottom edge.
    void LayOut();

    CRect textRect_;
    CFont boldFont_;
    CFont normalFont_;
    CPen greyPen_;
    HANDLE mapLoader_;
    CMapView* mapView_;
    CImageButton acceptButton_;
    CImageButton closeButton_;

    DECLARE_MESSAGE_MAP()
};

// The start word "nowarning": the disclaimer of this start accepts itself without
// showing anything, as a stored "ShowWarning" of 0 does. Held by the process, never
// stored, so that a start that dies before the disclaimer leaves it on for the next.
void SetDisclaimerSkippedThisStart(bool skipped);

// Runs the disclaimer modally: IDOK when accepted (after the loader has ended),
// anything else when refused (the loader then stops at its next step).
int RunSafetyDisclaimer(CWnd* parent, HANDLE mapLoader, CMapView* mapView);

// Waits for the object without a time-out while serving the messages other
// threads send to this one, so a sender that waits on us cannot deadlock.
void WaitServingSentMessages(HANDLE object);
