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
    std::vector<platform::ShownFileDialog> shown;
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

std::vector<std::u16string> MatchingFiles(const std::u16string& folder,
                                          const std::vector<std::u16string>& patterns) {
    std::vector<std::u16string> names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + u"*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        const std::u16string name = data.cFileName;
        for (const std::u16string& pattern : patterns) {
            if (platform::fs::MatchesPattern(name, pattern)) {
                names.push_back(name);
                break;
            }
        }
    } while (FindNextFileW(find, &data));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
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
    shown.offered = MatchingFiles(folder, shown.patterns);
    std::optional<std::u16string> answer;
    {
        FileDialogState& state = State();
        std::lock_guard<std::mutex> guard(state.lock);
        state.shown.push_back(shown);
        if (!state.script.empty()) {
            answer = state.script.front();
            state.script.pop_front();
        }
    }
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

std::vector<ShownFileDialog> ShownFileDialogs() {
    FileDialogState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    return state.shown;
}

void ClearFileDialogs() {
    FileDialogState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    state.shown.clear();
    state.script.clear();
}

}  // namespace platform
