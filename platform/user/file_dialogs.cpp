// The file dialogs: the headless answers from the test script, checked as the
// dialog would check a typed name, and the record of each dialog shown.
#include <algorithm>
#include <deque>
#include <mutex>

#include "platform/kernel/file_system.h"
#include "platform/kernel/files.h"
#include "platform/kernel/text.h"
#include "platform/user/user.h"

namespace {

struct FileDialogState {
    std::mutex lock;
    std::deque<std::optional<std::u16string>> script;
    std::deque<std::optional<std::u16string>> queued;  // for the next dialogs, drawn or not
    std::vector<platform::ShownFileDialog> shown;
    bool drawn = false;
};

FileDialogState& State() {
    static FileDialogState state;
    return state;
}

thread_local DWORD t_lastError = 0;

// The patterns of the 1-based filter pair; "*.*" without a filter.
std::vector<std::u16string> FilterPatterns(LPCWSTR filter, DWORD index) {
    std::vector<std::u16string> patterns;
    if (filter && *filter) {
        const char16_t* at = filter;
        for (DWORD pair = 1; *at; ++pair) {
            const std::u16string description = at;
            at += description.size() + 1;
            const std::u16string list = at;
            at += list.size() + 1;
            if (pair != std::max<DWORD>(index, 1))
                continue;
            size_t start = 0;
            while (start <= list.size()) {
                const size_t end = std::min(list.find(u';', start), list.size());
                if (end > start)
                    patterns.push_back(list.substr(start, end - start));
                start = end + 1;
            }
            break;
        }
    }
    if (patterns.empty())
        patterns.push_back(u"*.*");
    return patterns;
}

std::u16string FolderOf(const OPENFILENAMEW& ofn) {
    std::u16string folder =
        ofn.lpstrInitialDir && *ofn.lpstrInitialDir ? ofn.lpstrInitialDir : u"\\";
    if (folder.back() != u'\\')
        folder += u'\\';
    return folder;
}

// The folder's subfolders (`folders`), or its files matching one of the patterns,
// sorted.
std::vector<std::u16string> ListFolder(const std::u16string& folder, bool folders,
                                       const std::vector<std::u16string>& patterns) {
    std::vector<std::u16string> names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + u"*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        const std::u16string name = data.cFileName;
        if (((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) != folders || name == u"." ||
            name == u"..")
            continue;
        if (folders || std::any_of(patterns.begin(), patterns.end(), [&](const auto& pattern) {
                return platform::fs::MatchesPattern(name, pattern);
            }))
            names.push_back(name);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

constexpr WORD kFolderText = 100;
constexpr WORD kEntryList = 101;
constexpr WORD kNameEdit = 102;

// The drawn dialog's state while it runs.
struct Browser {
    std::u16string folder;
    std::vector<std::u16string> patterns;
    std::u16string answer;
};

void FillBrowser(HWND dialog, const Browser& browser) {
    SetDlgItemTextW(dialog, kFolderText, browser.folder.c_str());
    HWND list = GetDlgItem(dialog, kEntryList);
    SendMessageW(list, LB_RESETCONTENT, 0, 0);
    auto add = [&](const std::u16string& text) {
        SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    };
    if (browser.folder != u"\\")
        add(u"[..]");
    for (const std::u16string& name : ListFolder(browser.folder, true, {}))
        add(u"[" + name + u"]");
    for (const std::u16string& name : ListFolder(browser.folder, false, browser.patterns))
        add(name);
    SendMessageW(list, LB_SETCURSEL, 0, 0);
}

// OK with a "[name]" or "[..]" entry opens that folder; any other name answers.
void ChooseEntry(HWND dialog, Browser& browser) {
    WCHAR text[MAX_PATH] = {};
    GetDlgItemTextW(dialog, kNameEdit, text, MAX_PATH);
    const std::u16string name = text;
    if (name.empty())
        return;
    if (name == u"[..]") {
        const size_t cut = browser.folder.rfind(u'\\', browser.folder.size() - 2);
        browser.folder = browser.folder.substr(0, cut + 1);
    } else if (name.size() > 2 && name.front() == u'[' && name.back() == u']') {
        browser.folder += name.substr(1, name.size() - 2) + u"\\";
    } else {
        browser.answer = name.find(u'\\') == std::u16string::npos ? browser.folder + name : name;
        EndDialog(dialog, IDOK);
        return;
    }
    SetDlgItemTextW(dialog, kNameEdit, u"");
    FillBrowser(dialog, browser);
}

INT_PTR CALLBACK BrowserProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* browser = reinterpret_cast<Browser*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
        case WM_INITDIALOG:
            SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            FillBrowser(dialog, *reinterpret_cast<Browser*>(lParam));
            SetFocus(GetDlgItem(dialog, kEntryList));
            return FALSE;
        case WM_COMMAND:
            if (LOWORD(wParam) == kEntryList && HIWORD(wParam) == LBN_SELCHANGE) {
                HWND list = GetDlgItem(dialog, kEntryList);
                const auto index = SendMessageW(list, LB_GETCURSEL, 0, 0);
                WCHAR text[MAX_PATH] = {};
                if (index >= 0 && SendMessageW(list, LB_GETTEXTLEN, index, 0) < MAX_PATH)
                    SendMessageW(list, LB_GETTEXT, index, reinterpret_cast<LPARAM>(text));
                SetDlgItemTextW(dialog, kNameEdit, text);
                return TRUE;
            }
            if (LOWORD(wParam) == kEntryList && HIWORD(wParam) == LBN_DBLCLK) {
                ChooseEntry(dialog, *browser);
                return TRUE;
            }
            if (LOWORD(wParam) == IDOK) {
                ChooseEntry(dialog, *browser);
                return TRUE;
            }
            if (LOWORD(wParam) == IDCANCEL) {
                EndDialog(dialog, IDCANCEL);
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}

std::optional<std::u16string> ShowBrowser(const OPENFILENAMEW& ofn, const std::u16string& folder,
                                          const std::vector<std::u16string>& patterns, bool save) {
    platform::DialogTemplate dialog;
    dialog.style |= DS_CENTER;
    dialog.cx = 110;
    dialog.cy = 150;
    dialog.caption =
        ofn.lpstrTitle && *ofn.lpstrTitle ? ofn.lpstrTitle : (save ? u"Save As" : u"Open");
    dialog.items = {
        {u"STATIC", u"", kFolderText, SS_LEFT, 0, 4, 4, 102, 10},
        {u"LISTBOX", u"", kEntryList, LBS_NOTIFY | WS_VSCROLL | WS_BORDER | WS_TABSTOP, 0, 4, 16,
         102, 94},
        {u"EDIT", u"", kNameEdit, ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 0, 4, 114, 102, 12},
        {u"BUTTON", u"OK", IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP, 0, 4, 132, 48, 14},
        {u"BUTTON", u"Cancel", IDCANCEL, BS_PUSHBUTTON | WS_TABSTOP, 0, 58, 132, 48, 14},
    };
    Browser browser{folder, patterns, {}};
    const INT_PTR result = DialogBoxIndirectParamW(nullptr, &dialog, ofn.hwndOwner, BrowserProc,
                                                   reinterpret_cast<LPARAM>(&browser));
    if (result != IDOK)
        return std::nullopt;
    return browser.answer;
}

BOOL Fail(DWORD error) {
    t_lastError = error;
    return FALSE;
}

BOOL RunFileDialog(LPOPENFILENAMEW ofn, bool save) {
    t_lastError = 0;
    if (!ofn || ofn->lStructSize != sizeof(OPENFILENAMEW))
        return Fail(CDERR_STRUCTSIZE);
    if (!ofn->lpstrFile || ofn->nMaxFile == 0)
        return Fail(CDERR_INITIALIZATION);
    const std::u16string folder = FolderOf(*ofn);
    platform::ShownFileDialog shown{save,
                                    ofn->lpstrTitle ? ofn->lpstrTitle : u"",
                                    folder,
                                    FilterPatterns(ofn->lpstrFilter, ofn->nFilterIndex),
                                    {}};
    shown.offered = ListFolder(folder, false, shown.patterns);
    std::optional<std::u16string> answer;
    bool drawn = false;
    platform::RunBeforeBoxHandler();
    {
        FileDialogState& state = State();
        std::lock_guard<std::mutex> guard(state.lock);
        state.shown.push_back(shown);
        drawn = state.drawn;
        if (!state.queued.empty()) {
            answer = state.queued.front();
            state.queued.pop_front();
            drawn = false;
        } else if (!drawn && !state.script.empty()) {
            answer = state.script.front();
            state.script.pop_front();
        }
    }
    if (drawn)
        answer = ShowBrowser(*ofn, folder, shown.patterns, save);
    if (!answer || answer->empty())
        return FALSE;  // Cancel
    std::u16string path = answer->find(u'\\') == std::u16string::npos ? folder + *answer : *answer;
    size_t nameAt = path.rfind(u'\\') + 1;
    if (nameAt == path.size())
        return Fail(FNERR_INVALIDFILENAME);
    size_t dot = path.find(u'.', nameAt);
    if (save && dot == std::u16string::npos && ofn->lpstrDefExt && *ofn->lpstrDefExt) {
        dot = path.size();
        path += u'.';
        path += ofn->lpstrDefExt;
    }
    const DWORD attributes = GetFileAttributesW(path.c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return Fail(FNERR_INVALIDFILENAME);
    if (!save && !exists && (ofn->Flags & OFN_FILEMUSTEXIST))
        return Fail(FNERR_INVALIDFILENAME);
    if (save && exists && (ofn->Flags & OFN_OVERWRITEPROMPT)) {
        const std::u16string text =
            path.substr(nameAt) + u" already exists.\nDo you want to replace it?";
        if (MessageBoxW(ofn->hwndOwner, text.c_str(), ofn->lpstrTitle ? ofn->lpstrTitle : u"",
                        MB_YESNO | MB_ICONWARNING) != IDYES)
            return FALSE;
    }
    if (path.size() + 1 > ofn->nMaxFile) {
        // As the dialog does: the size needed goes into the buffer's first word.
        if (ofn->nMaxFile >= 1)
            ofn->lpstrFile[0] = static_cast<WCHAR>(std::min<size_t>(path.size() + 1, 0xFFFF));
        return Fail(FNERR_BUFFERTOOSMALL);
    }
    std::copy(path.begin(), path.end(), ofn->lpstrFile);
    ofn->lpstrFile[path.size()] = 0;
    ofn->nFileOffset = static_cast<WORD>(nameAt);
    ofn->nFileExtension = dot == std::u16string::npos ? 0 : static_cast<WORD>(dot + 1);
    if (ofn->lpstrFileTitle && ofn->nMaxFileTitle > 0) {
        const std::u16string name = path.substr(nameAt);
        const size_t n = std::min<size_t>(name.size(), ofn->nMaxFileTitle - 1);
        std::copy(name.begin(), name.begin() + static_cast<std::ptrdiff_t>(n), ofn->lpstrFileTitle);
        ofn->lpstrFileTitle[n] = 0;
    }
    return TRUE;
}

}  // namespace

BOOL GetOpenFileNameW(LPOPENFILENAMEW ofn) {
    return RunFileDialog(ofn, false);
}

BOOL GetSaveFileNameW(LPOPENFILENAMEW ofn) {
    return RunFileDialog(ofn, true);
}

DWORD CommDlgExtendedError() {
    return t_lastError;
}

namespace platform {

void ScriptFileDialogAnswers(std::vector<std::optional<std::u16string>> answers) {
    FileDialogState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    state.script.assign(answers.begin(), answers.end());
}

void QueueFileDialogAnswer(std::optional<std::u16string> answer) {
    FileDialogState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    state.queued.push_back(std::move(answer));
}

std::vector<ShownFileDialog> ShownFileDialogs() {
    FileDialogState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    return state.shown;
}

void UseDrawnFileDialog(bool use) {
    FileDialogState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    state.drawn = use;
}

void ClearFileDialogs() {
    FileDialogState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    state.shown.clear();
    state.script.clear();
    state.queued.clear();
}

}  // namespace platform
