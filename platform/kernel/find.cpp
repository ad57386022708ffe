// FindFirstFileW and friends. A search takes its snapshot of the folder at
// FindFirstFileW, sorted by name without case, so that the order is the same on
// every host; "." and ".." and the stand-in's own files are never listed.
#include <dirent.h>
#include <errno.h>
#include <sys/stat.h>

#include <algorithm>
#include <vector>

#include "platform/kernel/file_system.h"

namespace platform {
namespace {

class FindObject : public KernelObject {
  public:
    explicit FindObject(std::vector<WIN32_FIND_DATAW> entries) : entries_(std::move(entries)) {}

    bool Next(WIN32_FIND_DATAW* data) {
        std::lock_guard<std::mutex> guard(lock_);
        if (next_ >= entries_.size()) {
            return false;
        }
        *data = entries_[next_++];
        return true;
    }

  private:
    std::mutex lock_;
    std::vector<WIN32_FIND_DATAW> entries_;
    size_t next_ = 0;
};

std::u16string FoldedKey(const WIN32_FIND_DATAW& data) {
    std::u16string key;
    for (const WCHAR* c = data.cFileName; *c; ++c) {
        key += fs::FoldCase(*c);
    }
    return key;
}

// Splits a search pattern into its folder (as a path to resolve) and last part.
void SplitPattern(std::u16string_view text, std::u16string* folder, std::u16string* leaf) {
    bool hostPath = !text.empty() && text[0] == u'/';
    size_t cut = hostPath ? text.rfind(u'/') : text.find_last_of(u"\\/");
    if (cut != std::u16string_view::npos) {
        *folder = text.substr(0, cut + 1);
        *leaf = text.substr(cut + 1);
    } else if (text.size() >= 2 && text[1] == u':') {
        *folder = text.substr(0, 2);
        *leaf = text.substr(2);
    } else {
        *folder = u"\\";
        *leaf = text;
    }
}

}  // namespace
}  // namespace platform

using namespace platform;

HANDLE FindFirstFileW(LPCWSTR fileName, LPWIN32_FIND_DATAW findData) {
    if (!fileName || !findData) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::u16string folderText;
    std::u16string pattern;
    SplitPattern(fileName, &folderText, &pattern);
    if (pattern.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    for (char16_t c : pattern) {
        if (c < 0x20 || c == u'<' || c == u'>' || c == u'"' || c == u'|' || c == u':') {
            SetLastError(ERROR_INVALID_NAME);
            return INVALID_HANDLE_VALUE;
        }
    }
    fs::Resolved folder;
    if (!fs::Resolve(folderText.c_str(), &folder)) {
        return INVALID_HANDLE_VALUE;
    }
    DIR* directory = opendir(folder.host.c_str());
    if (!directory) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    bool wildcards = fs::HasWildcards(pattern);
    std::map<std::string, DWORD> stored = fs::StoredAttributesOfFolder(folder.host);
    std::vector<WIN32_FIND_DATAW> entries;
    while (dirent* entry = readdir(directory)) {
        std::string name = entry->d_name;
        if (name == "." || name == ".." || IsInternalName(name)) {
            continue;
        }
        std::u16string wide = fs::FromHost(name);
        if (wide.size() >= MAX_PATH) {
            continue;  // no platform program could hold the name
        }
        if (wildcards ? !fs::MatchesPattern(wide, pattern) : !fs::EqualsFolded(wide, pattern)) {
            continue;
        }
        struct stat status;
        if (stat((folder.host / name).c_str(), &status) != 0) {
            continue;  // a dangling link
        }
        WIN32_FIND_DATAW data{};
        auto it = stored.find(name);
        data.dwFileAttributes = fs::AttributesOf(
            status, it == stored.end() ? std::nullopt : std::optional<DWORD>(it->second));
        data.ftCreationTime = fs::FileTimeOf(status.st_mtim);
        data.ftLastAccessTime = fs::FileTimeOf(status.st_atim);
        data.ftLastWriteTime = fs::FileTimeOf(status.st_mtim);
        if (!S_ISDIR(status.st_mode)) {
            uint64_t size = static_cast<uint64_t>(status.st_size);
            data.nFileSizeHigh = static_cast<DWORD>(size >> 32);
            data.nFileSizeLow = static_cast<DWORD>(size);
        }
        std::copy(wide.begin(), wide.end(), data.cFileName);
        entries.push_back(data);
    }
    closedir(directory);
    if (entries.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    std::sort(entries.begin(), entries.end(),
              [](const WIN32_FIND_DATAW& a, const WIN32_FIND_DATAW& b) {
                  std::u16string keyA = FoldedKey(a);
                  std::u16string keyB = FoldedKey(b);
                  if (keyA != keyB) {
                      return keyA < keyB;
                  }
                  return std::u16string_view(a.cFileName) < std::u16string_view(b.cFileName);
              });
    auto search = std::make_shared<FindObject>(std::move(entries));
    search->Next(findData);
    return InsertHandle(std::move(search));
}

BOOL FindNextFileW(HANDLE findFile, LPWIN32_FIND_DATAW findData) {
    std::shared_ptr<FindObject> search = LookupHandleAs<FindObject>(findFile);
    if (!search || !findData) {
        SetLastError(search ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!search->Next(findData)) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    return TRUE;
}

BOOL FindClose(HANDLE findFile) {
    if (!LookupHandleAs<FindObject>(findFile)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return CloseHandle(findFile);
}
