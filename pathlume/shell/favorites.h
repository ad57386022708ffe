// Storing a place in the favourites or the recent destinations, with the driver's
// confirmation; the dialogs come from the destination screens through hooks.
#pragma once

#include <string>

#include "platform/afx/afx.h"

struct DestRecord;

// The answers of the favourites prompt.
inline constexpr int kPromptAdd = 1;  // "Add", or "Override" for a duplicate
inline constexpr int kPromptEdit = 608;
inline constexpr int kNameEntryHome = -1;  // the name screen was left with Home

struct FavoritePrompt {
    std::u16string title;
    std::u16string text;
    std::u16string heading;
    bool duplicate = false;  // buttons "Override" and "Cancel"; else "Add", "Edit", "Cancel"
};

// Shows the prompt and answers kPromptAdd, kPromptEdit or anything else for Cancel.
using FavoritePromptHook = int (*)(CWnd* parent, const FavoritePrompt& prompt);
// Lets the driver name the favourite: IDOK with the name (at most 40 characters),
// IDCANCEL, or kNameEntryHome.
using FavoriteNameHook = int (*)(CWnd* parent, const DestRecord& record, std::string* name);

// Null restores the defaults: the program's question screen (CPromptDlg) for the
// prompt and no name screen (Edit shows the prompt again).
void SetFavoritePromptHook(FavoritePromptHook hook);
void SetFavoriteNameHook(FavoriteNameHook hook);

// The text a prompt shows for the record: its short name, or line 1 (without a
// leading 0x01) and line 2.
std::string FavoritePromptText(const DestRecord& record);
