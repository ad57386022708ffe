// The route list screen: the remaining maneuvers of the route, one row each from
// the next one to the arrival, with the turn arrow, the distance and the road. The
// rows follow guidance as maneuvers are passed; "Map" shows the selected one's place
// on the map in pan mode.
#pragma once

#include <cstdint>
#include <map>
#include <string_view>

#include "pathlume/foundation/text_list_wnd.h"
#include "pathlume/shell/child_screen.h"

class CRouter;

// A row is "code,distance,street": the arrow code, the distance text and the rest,
// which may itself hold commas.
struct RouteRowFields {
    char code = 0;
    std::string_view distance;
    std::string_view street;
};
RouteRowFields SplitRouteRow(std::string_view row);
// The step arrow bitmap of an arrow code (201 for any code without one).
UINT StepArrowBitmap(char code);
// What a row is made of: the arrow code, the distance text, the road name, the
// kind's action text, and for the arrival the request's name (a house number, or
// "-" for none). Names are cut at '/' to 50 characters, the arrival's to 28.
struct RouteRowParts {
    char symbol = 0;
    const char* distance = nullptr;
    const char* name = nullptr;
    const char* action = nullptr;
    bool arrival = false;
    const char* request = nullptr;
};
void FormatRouteRow(const RouteRowParts& parts, char* row, size_t size);
// The row of maneuver `index` of the router's route; the first row shown takes the
// live distance to the next maneuver, the others their own.
void BuildRouteRow(const CRouter& router, int32_t index, bool firstRow, char* row, size_t size);
// Room for a row.
inline constexpr size_t kRouteRowSize = CTextListWnd::kMaxItemBytes;

// The list of steps: each row drawn from its row text into a back buffer.
class CTurnListView final : public CTextListWnd {
  public:
    CTurnListView() = default;
    ~CTurnListView() override;
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) override;

  protected:
    void OnPaint();
    DECLARE_MESSAGE_MAP()

  private:
    void DrawStep(HDC dc, int index, const RECT& row, bool selected);
    HBITMAP Arrow(UINT id);

    HDC backDC_ = nullptr;
    HBITMAP backBitmap_ = nullptr;
    HGDIOBJ backOldBitmap_ = nullptr;
    std::map<UINT, HBITMAP> arrows_;
};

// Commands and the list of the screen.
inline constexpr UINT kRouteListDownCommand = 536;
inline constexpr UINT kRouteListUpCommand = 537;
inline constexpr UINT kRouteListMapCommand = 539;
inline constexpr UINT kRouteListControlId = 591;

class CRouteListView final : public CFullScreenChild {
  public:
    explicit CRouteListView(CMainView& view);
    ~CRouteListView() override;

    BOOL Create(UINT controlId);
    // After each fix: the first row follows the router's current maneuver.
    void RefreshRouteList() override { UpdateCurrentRow(); }
    // After a route search: the rows are built again; the list shows.
    BOOL IsRouteListActive() override;

    // One row a maneuver from the router's current one to the arrival.
    void FillRows();
    // Drops the rows of passed maneuvers and writes the first row again.
    void UpdateCurrentRow();
    // All rows built again and the screen drawn.
    void Refresh();
    // "Map": the selected maneuver's place on the map, in pan mode.
    void OnMapButton();

    CTurnListView* List() const { return list_; }
    int Dropped() const { return dropped_; }
    static const RECT& ScrollUpRect();
    static RECT ScrollDownRect(bool fullScreen);

  protected:
    int OnCreate(LPCREATESTRUCT cs);
    void OnPaint();
    BOOL OnEraseBkgnd(CDC* dc);
    void OnLButtonDown(UINT flags, CPoint point);
    void OnLButtonUp(UINT flags, CPoint point);
    void OnTimer(UINT_PTR id);
    void OnKeyDown(UINT key, UINT repeat, UINT flags);
    HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT kind);
    void OnUpButton();
    void OnDownButton();
    void OnClosing() override { busy_ = true; }

    DECLARE_MESSAGE_MAP()

  private:
    void Step();
    void ClearRows();

    bool busy_ = false;
    int dropped_ = 0;
    CFont boldFont_;
    HBRUSH background_ = nullptr;
    CTurnListView* list_ = nullptr;
    CImageButton upButton_, downButton_, mapButton_, closeButton_;
    int direction_ = 0;
    UINT interval_ = 500;
};

// The screen maker of the route list (mode 8).
CChildScreen* MakeRouteListScreen(CMainView& view, UINT controlId);
