#include "pathlume/search/food_type_dlg.h"

#include "pathlume/search/poi_chain.h"

const FoodType kFoodTypes[kFoodTypeCount] = {
    {255, "<ALL>"},
    {51, "AFRICAN"},
    {1, "AMERICAN"},
    {18, "AUSTRIAN"},
    {55, "BALKAN"},
    {19, "BARBECUE (SOUTHERN)"},
    {20, "BELGIAN"},
    {21, "BISTRO"},
    {54, "BOHEMIAN"},
    {22, "BREW PUB"},
    {23, "BRITISH ISLES"},
    {24, "CAJUN (CARIBBEAN)"},
    {2, "CALIFORNIAN"},
    {52, "CANADIAN"},
    {3, "CHINESE"},
    {4, "CONTINENTAL"},
    {25, "DUTCH"},
    {26, "EAST EUROPEAN"},
    {27, "FAST FOOD"},
    {37, "FILIPINO"},
    {56, "FINNISH"},
    {5, "FRENCH"},
    {6, "GERMAN"},
    {7, "GREEK"},
    {28, "GRILL"},
    {29, "HAWAIIAN (POLYNESIAN)"},
    {30, "HUNGARIAN"},
    {8, "INDIAN"},
    {31, "INDONESIAN (MALAYSIAN)"},
    {53, "INTERNATIONAL"},
    {9, "ITALIAN"},
    {10, "JAPANESE"},
    {32, "JEWISH (KOSHER)"},
    {33, "KOREAN"},
    {34, "LATIN AMERICAN"},
    {35, "MALTESE"},
    {11, "MEXICAN"},
    {36, "MIDDLE EASTERN"},
    {12, "OTHER"},
    {38, "POLISH"},
    {39, "PORTUGUESE"},
    {40, "RUSSIAN"},
    {41, "SANDWICH"},
    {42, "SCANDINAVIAN"},
    {13, "SEAFOOD"},
    {43, "SOUTH AMERICAN"},
    {44, "SOUTHEAST ASIAN"},
    {45, "SOUTHWESTERN"},
    {47, "SPANISH"},
    {48, "STEAK HOUSE"},
    {46, "SURINAMESE"},
    {49, "SWISS"},
    {14, "THAI"},
    {50, "TURKISH"},
    {17, "UNKNOWN"},
    {15, "VEGETARIAN"},
    {16, "VIETNAMESE"},
};

namespace {

KeyboardSetup FoodTypeSetup() {
    KeyboardSetup setup;
    setup.titleId = 6282;
    return setup;
}

}  // namespace

// Decided: Up and Down move the list one row a press at every screen size; their
// key-ups do nothing more.
CFoodTypeDlg::CFoodTypeDlg(CWnd* parent) : KeyboardEntryDlg(parent, FoodTypeSetup()) {}

void CFoodTypeDlg::FillList() {
    m_list->ownsItems = 0;
    for (const FoodType& type : kFoodTypes)
        m_list->AddItem(type.name, 0);
}

void CFoodTypeDlg::OnOK() {
    if (!SelectedRow())
        return;
    const int row = m_list->selection;
    EndDialog(static_cast<int>(kPickedBit | kFoodTypes[row].code));
}
