#include "pathlume/shell/favorites.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pathlume/foundation/data_location.h"
#include "pathlume/foundation/dest_list.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/shell/main_frame.h"
#include "tests/shell/app_fixture.h"

namespace shell_test {
namespace {

std::vector<FavoritePrompt> g_prompts;
std::vector<int> g_answers;
std::string g_typedName;

int ScriptedPrompt(CWnd*, const FavoritePrompt& prompt) {
    g_prompts.push_back(prompt);
    if (g_answers.empty())
        return IDCANCEL;
    const int answer = g_answers.front();
    g_answers.erase(g_answers.begin());
    return answer;
}

int TypedName(CWnd*, const DestRecord&, std::string* name) {
    *name = g_typedName;
    return IDOK;
}

class FavoritesTest : public AppTest {
  protected:
    void SetUp() override {
        InstallTownMaps();
        InstallVoiceFiles();
        ASSERT_TRUE(Start());
        g_prompts.clear();
        g_answers.clear();
        SetFavoritePromptHook(ScriptedPrompt);
        SetFavoriteNameHook(nullptr);
    }
    void TearDown() override {
        SetFavoritePromptHook(nullptr);
        SetFavoriteNameHook(nullptr);
        Close();
    }
    CMainView& View() { return static_cast<CMainFrame*>(app_->m_pMainWnd)->View(); }
    int Add(int kind, const std::string& text, BOOL ask = TRUE, BOOL silent = FALSE) {
        const AddressHit hit{7, 0, 0, 42.5f, 1.5f};
        return View().AddToFavorites(hit, kind, text.c_str(), "12", nullptr, ask, silent);
    }
    std::vector<std::string> Lines(int kind) {
        WCHAR path[MAX_PATH] = {};
        CDestList list;
        list.path = FormatDataFilePath(kind, path);
        list.Load(0, 0);
        std::vector<std::string> lines;
        for (const DestRecord* record : list.records)
            lines.push_back(std::string(record->line1 ? record->line1 : "") + "|" +
                            (record->line3 ? record->line3 : ""));
        return lines;
    }
};

TEST_F(FavoritesTest, RecentListIsCutToTheLimitBeforeEachAdd) {
    for (int i = 0; i < 30; ++i)
        EXPECT_EQ(Add(kListRecent, "Street " + std::to_string(i) + "\nTown"), 0);
    const std::vector<std::string> lines = Lines(kListRecent);
    ASSERT_EQ(lines.size(), 26u);
    EXPECT_EQ(lines.front(), "Street 29|");
    // A duplicate moves to the front and says so.
    EXPECT_EQ(Add(kListRecent, "Street 20\nTown"), 2);
    EXPECT_EQ(Lines(kListRecent).front(), "Street 20|");
    EXPECT_TRUE(g_prompts.empty());
}

TEST_F(FavoritesTest, NewFavouriteAsksAndAddsAtTheEnd) {
    EXPECT_EQ(Add(kListFavorites, "One Road\nTown", TRUE, TRUE), 0);  // quiet: nothing
    EXPECT_TRUE(Lines(kListFavorites).empty());
    g_answers = {kPromptAdd};
    EXPECT_EQ(Add(kListFavorites, "One Road\nTown"), 0);
    g_answers = {kPromptAdd};
    EXPECT_EQ(Add(kListFavorites, "Two Road\nTown"), 0);
    EXPECT_EQ(Lines(kListFavorites), (std::vector<std::string>{"One Road|", "Two Road|"}));
    ASSERT_EQ(g_prompts.size(), 2u);
    EXPECT_FALSE(g_prompts[0].duplicate);
    EXPECT_EQ(g_prompts[0].title, u"Add To Favorites");
}

TEST_F(FavoritesTest, DuplicateAsksForOverride) {
    g_answers = {kPromptAdd};
    Add(kListFavorites, "One Road\nTown");
    g_prompts.clear();
    g_answers = {IDCANCEL};
    EXPECT_EQ(Add(kListFavorites, "One Road\nTown"), 2);
    ASSERT_EQ(g_prompts.size(), 1u);
    EXPECT_TRUE(g_prompts[0].duplicate);
    EXPECT_NE(g_prompts[0].text.find(u"Duplicate Entry Found"), std::u16string::npos);
    // Override replaces the old entry: one record stays.
    g_answers = {kPromptAdd};
    Add(kListFavorites, "One Road\nTown");
    EXPECT_EQ(g_prompts.size(), 2u);
    EXPECT_EQ(Lines(kListFavorites).size(), 1u);
}

// The driver's name is the favourite's title, cut to 40 characters; it never
// overwrites the house number.
TEST_F(FavoritesTest, EditedNameBecomesTheTitle) {
    SetFavoriteNameHook(TypedName);
    g_typedName = std::string(50, 'N');
    g_answers = {kPromptEdit, kPromptAdd};
    EXPECT_EQ(Add(kListFavorites, "One Road\nTown"), 0);
    EXPECT_EQ(Lines(kListFavorites),
              (std::vector<std::string>{"One Road|" + std::string(40, 'N')}));
    EXPECT_EQ(g_prompts.size(), 2u);
}

TEST_F(FavoritesTest, EditWithoutANameScreenAsksAgain) {
    g_answers = {kPromptEdit, kPromptEdit, IDCANCEL};
    EXPECT_EQ(Add(kListFavorites, "One Road\nTown"), 0);
    EXPECT_EQ(g_prompts.size(), 3u);
    EXPECT_TRUE(Lines(kListFavorites).empty());
}

}  // namespace
}  // namespace shell_test
