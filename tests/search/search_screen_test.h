// The search screens' fixture: the search maps opened as the program opens them, a
// QVGA screen at scale 1 with the program's fonts, and the user files in the test's
// own folder.
#pragma once

#include <string>

#include "pathlume/foundation/app_services.h"
#include "tests/search/screen_script.h"
#include "tests/search/search_maps.h"

namespace search_test {

class SearchScreenTest : public SearchMapsTest {
  protected:
    void SetUp() override;
    void TearDown() override;
    // Points the screen at another size and density (the scales follow).
    static void UseScreen(int width, int height, int dpi);

    WCHAR savedUserFolder_[MAX_PATH] = {};
};

// The texts drawn since the recording began, joined by "|".
std::u16string DrawnTexts(const platform::TextRecording& recording);

}  // namespace search_test
