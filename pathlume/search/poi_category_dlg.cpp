#include "pathlume/search/poi_category_dlg.h"

#include <mutex>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/foundation/screen_draw.h"
#include "pathlume/search/poi_chain.h"

namespace {

constexpr UINT kTitleCategories = 6143;
constexpr UINT kPickerFace = 352;
constexpr UINT kCloseFace = 246;
constexpr int kIconStep = 26;
constexpr int kIconSide = 16;
constexpr int kButtonLeft = 45;

constexpr int Picked(int code) {
    return static_cast<int>(kPickedBit | static_cast<uint32_t>(code));
}
constexpr int kAll = static_cast<int>(kPickedAll);

const std::vector<PoiChoiceButton>& CategoryButtons() {
    static const std::vector<PoiChoiceButton> buttons = {
        {749, u"Attraction", 326, -3},     {750, u"Business/Shopping", 327, 0},
        {751, u"Education/Govt", 328, -1}, {752, u"Emergency", 329, -2},
        {753, u"Lodging", 330, -4},        {754, u"Recreation", 331, -5},
        {755, u"Restaurant", 332, -6},     {756, u"Transportation", 333, -7}};
    return buttons;
}

// A picker: its template, caption, "Select All", the kinds top to bottom, its icons
// and which of them the rows show.
struct Picker {
    UINT templateId;
    const char16_t* caption;
    WORD selectAll;
    std::vector<PoiChoiceButton> kinds;
    UINT firstIcon;
    int iconCount;
    std::vector<int> drawn;
};

std::vector<int> Sequence(int count) {
    std::vector<int> rows;
    for (int i = 0; i < count; ++i)
        rows.push_back(i);
    return rows;
}

PoiChoiceButton Kind(WORD id, const char16_t* text, int code) {
    return {id, text, kPickerFace, Picked(code)};
}

const Picker& PickerOf(UINT templateId) {
    static const std::vector<Picker> pickers = {
        {1074,
         u"Attraction",
         758,
         {Kind(759, u"Amusement Park", 0), Kind(760, u"Casino", 1),
          Kind(761, u"Convention Center", 2), Kind(762, u"Museum", 3),
          Kind(763, u"Performing Arts", 4), Kind(764, u"Stadium/Arena", 5),
          Kind(765, u"Tourist Attraction", 7), Kind(766, u"Tourist Information", 8),
          Kind(767, u"Winery", 9)},
         2015,
         9,
         Sequence(9)},
        {1076,
         u"Business/Shopping",
         770,
         {Kind(771, u"ATM", 0), Kind(772, u"Bank", 1), Kind(773, u"Business Facility", 4),
          Kind(774, u"Grocery Store", 2), Kind(775, u"Shopping", 3)},
         2026,
         5,
         Sequence(5)},
        {1078,
         u"Education/Govt",
         776,
         {Kind(777, u"City Hall", 0), Kind(778, u"Higher Education", 1), Kind(779, u"Library", 3),
          Kind(780, u"School", 2)},
         2031,
         4,
         Sequence(4)},
        {1080,
         u"Emergency",
         781,
         {Kind(782, u"Hospital", 0), Kind(783, u"Police Station", 1)},
         2035,
         2,
         Sequence(2)},
        {1082,
         u"Recreation",
         784,
         {Kind(785, u"Golf Course", 0), Kind(786, u"Marina", 1), Kind(787, u"Park/Recreation", 2),
          Kind(788, u"Ski Resort", 3)},
         2039,
         4,
         Sequence(4)},
        // "Auto Service" stands alone at the bottom, without an icon.
        {1084,
         u"Transportation",
         791,
         {Kind(792, u"Airport", 1), Kind(794, u"Bus Station", 3), Kind(795, u"Ferry Terminal", 4),
          Kind(796, u"Gas Station", 0), Kind(797, u"Parking", 2), Kind(798, u"Car Rental", 5),
          Kind(799, u"Train Station", 6), Kind(793, u"Auto Service", 7)},
         2043,
         8,
         {0, 2, 3, 4, 5, 6, 7}},
    };
    for (const Picker& p : pickers) {
        if (p.templateId == templateId)
            return p;
    }
    return pickers.front();
}

std::vector<PoiChoiceButton> PickerButtons(const Picker& p) {
    std::vector<PoiChoiceButton> buttons = p.kinds;
    buttons.push_back({p.selectAll, u"Select All", kPickerFace, kAll});
    return buttons;
}

std::vector<UINT> PickerIcons(const Picker& p) {
    std::vector<UINT> ids;
    for (int i = 0; i < p.iconCount; ++i)
        ids.push_back(p.firstIcon + static_cast<UINT>(i));
    return ids;
}

void RegisterAll() {
    RegisterSearchTemplates();
    // The categories: eight rows and the close key (a dialog unit is 1.5 pixels).
    std::vector<ScreenButton> items;
    short y = 14;
    for (const PoiChoiceButton& b : CategoryButtons()) {
        items.push_back({b.id, b.text, 20, y, 120, 19});
        y = static_cast<short>(y + 20);
    }
    items.push_back({IDCANCEL, u"X", 137, 175, 20, 18});
    for (UINT id : {1074u, 1076u, 1078u, 1080u, 1082u, 1084u}) {
        const Picker& p = PickerOf(id);
        std::vector<ScreenButton> pickerItems;
        short py = 28;
        for (const PoiChoiceButton& b : PickerButtons(p)) {
            pickerItems.push_back({b.id, b.text, 30, py, 100, 13});
            py = static_cast<short>(py + 13);
        }
        pickerItems.push_back({IDCANCEL, u"X", 137, 175, 20, 18});
        RegisterScreenTemplate(id, pickerItems);
    }
    RegisterScreenTemplate(kPoiCategoryTemplate, items);
    RegisterScreenTemplate(kPoiOptionsTemplate, {{554, u"Change", 110, 111, 37, 16},
                                                 {555, u"Sort by Distance", 20, 40, 120, 20},
                                                 {553, u"Sort Alphabetically", 20, 63, 120, 20},
                                                 {557, u"By City", 20, 129, 120, 20},
                                                 {556, u"List All", 20, 152, 120, 20},
                                                 {IDCANCEL, u"X", 137, 175, 20, 18}});
}

std::once_flag g_poiTemplates;

}  // namespace

void RegisterPoiTemplates() {
    std::call_once(g_poiTemplates, RegisterAll);
}

BEGIN_MESSAGE_MAP(CPoiChoiceDlg, CMenuScreenDlg)
ON_WM_PAINT()
ON_WM_CTLCOLOR()
ON_COMMAND_RANGE(500, 999, OnChoice)
END_MESSAGE_MAP()

CPoiChoiceDlg::CPoiChoiceDlg(UINT templateId, CWnd* parent, UINT titleId,
                             const std::vector<PoiChoiceButton>& buttons, std::vector<UINT> icons,
                             std::vector<int> drawnIcons)
    : CMenuScreenDlg(templateId, parent),
      titleId_(titleId),
      buttons_(buttons),
      iconIds_(std::move(icons)),
      drawnIcons_(std::move(drawnIcons)),
      icons_(iconIds_.size(), nullptr) {
    RegisterPoiTemplates();
    for (size_t i = 0; i < buttons_.size(); ++i)
        images_.push_back(new CImageButton);
}

CPoiChoiceDlg::~CPoiChoiceDlg() {
    for (HICON& icon : icons_) {
        if (icon)
            DestroyIcon(icon);
        icon = nullptr;
    }
    for (CImageButton* image : images_)
        delete image;
}

void CPoiChoiceDlg::DoDataExchange(CDataExchange* dx) {
    CDialog::DoDataExchange(dx);
    for (size_t i = 0; i < buttons_.size(); ++i)
        DDX_Control(dx, buttons_[i].id, *images_[i]);
    DDX_Control(dx, IDCANCEL, close_);
}

BOOL CPoiChoiceDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    StartScreen(*this);
    CreateScaledFont(&font_, 14, FW_BOLD, nullptr);
    for (size_t i = 0; i < buttons_.size(); ++i)
        SetUpImageButton(*images_[i], buttons_[i].bitmap, &font_, RGB(0, 0, 0));
    SetUpImageButton(close_, kCloseFace, &font_, RGB(255, 255, 255));
    // Icons are drawn 32 pixels square on a tall screen: load them at that size.
    const int side = g_screenScaleY.load() > 1.0f ? 2 * kIconSide : kIconSide;
    for (size_t i = 0; i < iconIds_.size(); ++i) {
        if (!icons_[i])
            icons_[i] = static_cast<HICON>(LoadScaledImage(iconIds_[i], IMAGE_ICON, side, side, 0));
    }
    if (!iconIds_.empty())
        LayOutPickerButtons();
    SetWindowText(kProductName);
    return TRUE;
}

void CPoiChoiceDlg::LayOutPickerButtons() {
    const int rows = static_cast<int>(drawnIcons_.size());
    const int step = ScaleY(kIconStep);
    const int top = DrawScaledIcon(-1, nullptr, nullptr, rows, step, 0);
    const int side = g_screenScaleY.load() > 1.0f ? 2 * kIconSide : kIconSide;
    // Kinds in order, then "Select All" (the last button) on the row after them.
    for (size_t i = 0; i < buttons_.size(); ++i) {
        CRect rect;
        images_[i]->GetWindowRect(&rect);
        const int row = static_cast<int>(i);
        const int centre = top + step * row + 9 + side / 2;
        images_[i]->SetWindowPos(nullptr, ScaleX(kButtonLeft), centre - rect.Height() / 2, 0, 0,
                                 SWP_NOSIZE | SWP_NOZORDER);
    }
}

void CPoiChoiceDlg::OnPaint() {
    CPaintDC dc(this);
    PaintScreenBackgroundAndTitle(dc, *this, titleId_);
    if (iconIds_.empty())
        return;
    std::vector<HICON> shown;
    for (int index : drawnIcons_)
        shown.push_back(index >= 0 && static_cast<size_t>(index) < icons_.size() ? icons_[index]
                                                                                 : nullptr);
    const int step = ScaleY(kIconStep);
    for (size_t row = 0; row < shown.size(); ++row) {
        // An icon that did not load leaves its row empty.
        if (shown[row])
            DrawScaledIcon(static_cast<int>(row), dc.GetSafeHdc(), shown.data(),
                           static_cast<int>(shown.size()), step, 0xFFFFFFFFu);
    }
}

int CPoiChoiceDlg::ResultOf(UINT id) const {
    for (const PoiChoiceButton& b : buttons_) {
        if (b.id == id)
            return b.result;
    }
    return IDCANCEL;
}

void CPoiChoiceDlg::OnChoice(UINT id) {
    EndDialog(ResultOf(id));
}

HBRUSH CPoiChoiceDlg::OnCtlColor(CDC*, CWnd*, UINT) {
    return brush_.Get();
}

CPoiCategoryDlg::CPoiCategoryDlg(CWnd* parent)
    : CPoiChoiceDlg(kPoiCategoryTemplate, parent, kTitleCategories, CategoryButtons()) {}

// The pickers paint no title band: the background and their icons.
#define POI_PICKER(Class, id)                                                                  \
    Class::Class(CWnd* parent)                                                                 \
        : CPoiChoiceDlg(id, parent, 0, PickerButtons(PickerOf(id)), PickerIcons(PickerOf(id)), \
                        PickerOf(id).drawn) {}
POI_PICKER(CAttractionTypeDlg, 1074)
POI_PICKER(CBusinessTypeDlg, 1076)
POI_PICKER(CEducationTypeDlg, 1078)
POI_PICKER(CEmergencyTypeDlg, 1080)
POI_PICKER(CRecreationTypeDlg, 1082)
POI_PICKER(CTransportationTypeDlg, 1084)
#undef POI_PICKER

int RunPoiPicker(CWnd* parent, int category) {
    switch (category) {
        case 0:
            return static_cast<int>(CBusinessTypeDlg(parent).DoModal());
        case 1:
            return static_cast<int>(CEducationTypeDlg(parent).DoModal());
        case 2:
            return static_cast<int>(CEmergencyTypeDlg(parent).DoModal());
        case 3:
            return static_cast<int>(CAttractionTypeDlg(parent).DoModal());
        case 5:
            return static_cast<int>(CRecreationTypeDlg(parent).DoModal());
        case 7:
            return static_cast<int>(CTransportationTypeDlg(parent).DoModal());
        default:
            return IDCANCEL;
    }
}
