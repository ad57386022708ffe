// The question before a place is kept as a favourite, on the program's prompt screen:
// "Add", "Edit" or "Cancel" for a new favourite, "Override" or "Cancel" for one that
// is there already.
#pragma once

#include <string>

#include "platform/afx/afx.h"

struct DestRecord;

// The prompt's answers.
inline constexpr int kFavoriteAdd = 1;
inline constexpr int kFavoriteEdit = 608;

// The text a list's entry shows in the question: "\n%s\n\n" with its name, else its
// lines 1 and 2.
std::string FavoriteEntryText(const DestRecord& record);

// Shows the question with the title, message and caption given: kFavoriteAdd,
// kFavoriteEdit (new favourites only) or IDCANCEL (also for Home, which leaves
// g_homeKeyPressed set).
int AskAboutFavorite(CWnd* parent, const std::u16string& title, const std::u16string& message,
                     const std::u16string& caption, bool duplicate);
