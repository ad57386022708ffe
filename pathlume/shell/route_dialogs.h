// The route dialogs: Route Options (how routes are computed), Detour Options (avoid
// the road ahead up to a distance), Route Management (the destination flow's first
// screen while a route exists) and Select Roads to Avoid (mark named roads of the
// route). Their effects on the router are route_marking.h's.
#pragma once

#include <string>
#include <vector>

#include "pathlume/foundation/avoid_road_list_wnd.h"
#include "pathlume/foundation/full_screen_dialog.h"
#include "pathlume/shell/route_marking.h"

inline constexpr UINT kRouteOptionsTemplateId = 1020;
inline constexpr UINT kDetourOptionsTemplateId = 1042;
inline constexpr UINT kRouteManagementTemplateId = 1040;
inline constexpr UINT kAvoidRoadsTemplateId = 1064;

class CRouteOptionsDlg : public CFullScreenDialog {
  public:
    explicit CRouteOptionsDlg(CWnd* parent);

    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;
    // Hands the choices to the router (ApplyRouteOptions) and asks for the map.
    void OnOK() override;

    CMapButton m_quickest, m_shortest, m_majorRoads, m_localRoads;
    CMapButton m_ferriesIn, m_ferriesOut, m_tollsIn, m_tollsOut;
    CMapButton m_carpoolIn, m_carpoolOut, m_turnsOn, m_turnsOff;
    CImageButton m_ok, m_cancel;
    // The router's method and state word as the dialog found them.
    int m_algorithm;
    uint32_t m_optionWord;

  protected:
    void OnChoice(UINT id);
    void DrawScreen(CDC& dc) override;

    DECLARE_MESSAGE_MAP()
};

class CDetourOptionsDlg : public CFullScreenDialog {
  public:
    // routeDistance: the route still to drive (radians of arc).
    CDetourOptionsDlg(CWnd* parent, FLOAT routeDistance);

    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;
    // "Reset": every avoidance dropped, a new route.
    void OnOK() override;

    CFont m_smallFont;
    CImageButton m_shortest, m_middle, m_longest, m_reset, m_back;
    FLOAT m_routeDistance;
    DetourChoices m_choices;

  protected:
    // Avoids the road ahead up to the button's distance and asks for a new route.
    void OnDistance(UINT id);
    LPCWSTR ScreenTitle() override;
    void DrawScreen(CDC& dc) override;

    DECLARE_MESSAGE_MAP()

  private:
    void ShowChoices();
    std::u16string title_;
};

class CRouteManagementDlg : public CFullScreenDialog {
  public:
    explicit CRouteManagementDlg(CWnd* parent);

    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;

    CFont m_smallFont;
    CImageButton m_demo, m_avoidRoad, m_detour, m_stopover, m_clearDest, m_new, m_cancel;

    // The text drawn under "Current Destination": empty without a destination name.
    static std::u16string DestinationText();

  protected:
    void OnButton(UINT id);
    LPCWSTR ScreenTitle() override;
    void DrawScreen(CDC& dc) override;

    DECLARE_MESSAGE_MAP()

  private:
    std::u16string title_;
};

class CAvoidRoadsDlg : public CFullScreenDialog {
  public:
    static constexpr UINT kListId = 597;

    explicit CAvoidRoadsDlg(CWnd* parent);
    ~CAvoidRoadsDlg() override;

    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;

    // The list, made on the program heap at set-up; its rows are m_roads'.
    CAvoidRoadListWnd* m_list = nullptr;
    std::vector<RoutedRoad> m_roads;
    HBRUSH m_listBrush = nullptr;
    CImageButton m_nav, m_avoid, m_clear, m_reset, m_close;

    // Marks the roads of the marked rows and asks for a new route.
    void OnNav();

  protected:
    void OnAvoid();
    void OnClear();
    void OnReset();
    bool OnScreenKey(UINT key, UINT repeat, UINT flags) override;
    void OnKeyUp(UINT key, UINT repeat, UINT flags);
    HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT kind);

    DECLARE_MESSAGE_MAP()

  private:
    void FillList();
    void SetSelectedMark(bool avoided);
};

// The dialogs as the main view runs them (OptionDialogs' route slots).
int RunRouteOptionsDialog(CWnd* parent);
int RunDetourOptionsDialog(CWnd* parent, FLOAT remainingLength);
int RunRouteManagementDialog(CWnd* parent);
int RunAvoidRoadsDialog(CWnd* parent);
