#include "platform/shell/shell.h"

#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace {

struct ShellState {
    std::mutex lock;
    platform::ShellFullScreen fullScreen;
    bool sipUp = false;
};

ShellState& State() {
    static ShellState state;
    return state;
}

// The panel's height at 96 dpi; it scales with the screen.
constexpr int kSipHeight96 = 80;

void SipRects(bool up, RECT* visible, RECT* panel) {
    int width = GetSystemMetrics(SM_CXSCREEN);
    int height = GetSystemMetrics(SM_CYSCREEN);
    int sipHeight = kSipHeight96 * platform::ScreenDpi() / 96;
    SetRect(panel, 0, height - sipHeight, width, height);
    SetRect(visible, 0, 0, width, up ? height - sipHeight : height);
}

// Raises or lowers the panel; the active window hears of a change.
BOOL SetSip(bool up) {
    {
        ShellState& state = State();
        std::lock_guard guard(state.lock);
        if (state.sipUp == up)
            return TRUE;
        state.sipUp = up;
    }
    HWND active = GetActiveWindow();
    if (active != nullptr)
        SendNotifyMessageW(active, WM_SETTINGCHANGE, SPI_SETSIPINFO, 0);
    return TRUE;
}

const char16_t* FolderPath(int folder) {
    switch (folder) {
        case CSIDL_DESKTOP:
        case CSIDL_DESKTOPDIRECTORY:
            return u"\\Windows\\Desktop";
        case CSIDL_PROGRAMS:
            return u"\\Windows\\Start Menu\\Programs";
        case CSIDL_PERSONAL:
            return u"\\My Documents";
        case CSIDL_FAVORITES:
            return u"\\Windows\\Favorites";
        case CSIDL_STARTUP:
            return u"\\Windows\\StartUp";
        case CSIDL_RECENT:
            return u"\\Windows\\Recent";
        case CSIDL_STARTMENU:
            return u"\\Windows\\Start Menu";
        case CSIDL_FONTS:
            return u"\\Windows\\Fonts";
        case CSIDL_APPDATA:
            return u"\\Application Data";
        case CSIDL_WINDOWS:
            return u"\\Windows";
        case CSIDL_PROGRAM_FILES:
            return u"\\Program Files";
        default:
            return nullptr;
    }
}

bool IsFolder(const std::u16string& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Makes each missing folder of the path in turn.
bool MakeFolders(const std::u16string& path) {
    for (size_t at = path.find(u'\\', 1);; at = path.find(u'\\', at + 1)) {
        std::u16string part = path.substr(0, at);
        if (!IsFolder(part) && !CreateDirectoryW(part.c_str(), nullptr) && !IsFolder(part)) {
            return false;
        }
        if (at == std::u16string::npos)
            return true;
    }
}

// A small checker for the provisioning document: elements nest and close, the root
// is wap-provisioningdoc, and only characteristic and parm elements are inside.
// One element of a provisioning document: its name, attributes and children.
struct ProvisioningElement {
    std::u16string name;
    std::vector<std::pair<std::u16string, std::u16string>> attributes;
    std::vector<ProvisioningElement> children;

    const std::u16string* Attribute(std::u16string_view wanted) const {
        for (const auto& [key, value] : attributes)
            if (key == wanted)
                return &value;
        return nullptr;
    }
};

// Reads a provisioning document; nothing when it is not well formed.
class ProvisioningReader {
  public:
    explicit ProvisioningReader(std::u16string_view text) : text_(text) {}

    std::optional<ProvisioningElement> Read() {
        SkipBlanks();
        ProvisioningElement root;
        if (!Element(/*root=*/true, &root))
            return std::nullopt;
        SkipBlanks();
        if (at_ != text_.size())
            return std::nullopt;
        return root;
    }

  private:
    void SkipBlanks() {
        while (at_ < text_.size() && iswspace(text_[at_]))
            ++at_;
    }

    bool Name(std::u16string* name) {
        size_t start = at_;
        while (at_ < text_.size() && (iswalnum(text_[at_]) || text_[at_] == u'-' ||
                                      text_[at_] == u'_' || text_[at_] == u':')) {
            ++at_;
        }
        *name = std::u16string(text_.substr(start, at_ - start));
        return !name->empty();
    }

    bool Attributes(ProvisioningElement* element) {
        for (;;) {
            SkipBlanks();
            if (at_ >= text_.size())
                return false;
            if (text_[at_] == u'>' || text_[at_] == u'/')
                return true;
            std::u16string name;
            if (!Name(&name))
                return false;
            SkipBlanks();
            if (at_ >= text_.size() || text_[at_] != u'=')
                return false;
            ++at_;
            SkipBlanks();
            if (at_ >= text_.size() || (text_[at_] != u'"' && text_[at_] != u'\''))
                return false;
            char16_t quote = text_[at_++];
            size_t end = text_.find(quote, at_);
            if (end == std::u16string_view::npos)
                return false;
            if (text_.substr(at_, end - at_).find(u'<') != std::u16string_view::npos)
                return false;
            element->attributes.emplace_back(std::move(name),
                                             std::u16string(text_.substr(at_, end - at_)));
            at_ = end + 1;
        }
    }

    bool Element(bool root, ProvisioningElement* element) {
        if (++depth_ > 64)
            return false;
        if (at_ >= text_.size() || text_[at_] != u'<')
            return false;
        ++at_;
        std::u16string& name = element->name;
        if (!Name(&name))
            return false;
        if (root
                ? name != u"wap-provisioningdoc"
                : (name != u"characteristic" && name != u"parm" && name != u"nocharacteristic" &&
                   name != u"noparm" && name != u"characteristic-query" && name != u"parm-query")) {
            return false;
        }
        if (!Attributes(element))
            return false;
        if (text_[at_] == u'/') {
            ++at_;
            if (at_ >= text_.size() || text_[at_] != u'>')
                return false;
            ++at_;
            --depth_;
            return true;
        }
        ++at_;  // '>'
        for (;;) {
            SkipBlanks();
            if (at_ + 1 >= text_.size())
                return false;
            if (text_[at_] == u'<' && text_[at_ + 1] == u'/') {
                at_ += 2;
                std::u16string closing;
                if (!Name(&closing) || closing != name)
                    return false;
                SkipBlanks();
                if (at_ >= text_.size() || text_[at_] != u'>')
                    return false;
                ++at_;
                --depth_;
                return true;
            }
            element->children.emplace_back();
            if (!Element(false, &element->children.back()))
                return false;
        }
    }

    std::u16string_view text_;
    size_t at_ = 0;
    int depth_ = 0;
};

// The metabase: each characteristic inside a "Metabase" characteristic names a path
// (its type), kept as the key HKLM "Security\Metabase\PATH" with the parms as
// values, a decimal number as a REG_DWORD and any other text as a REG_SZ. The
// device's remote API service reads "rw-access" there. False when a key or value
// cannot be written.
bool ApplyMetabase(const ProvisioningElement& metabase) {
    bool applied = true;
    for (const ProvisioningElement& entry : metabase.children) {
        const std::u16string* path = entry.Attribute(u"type");
        if (entry.name != u"characteristic" || !path || path->empty())
            continue;
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, (u"Security\\Metabase\\" + *path).c_str(), 0,
                            nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
            applied = false;
            continue;
        }
        for (const ProvisioningElement& parm : entry.children) {
            const std::u16string* name = parm.Attribute(u"name");
            const std::u16string* value = parm.Attribute(u"value");
            if (parm.name != u"parm" || !name || !value)
                continue;
            const bool number = !value->empty() && value->size() <= 9 &&
                                value->find_first_not_of(u"0123456789") == std::u16string::npos;
            LONG result;
            if (number) {
                const DWORD dword = static_cast<DWORD>(std::stoul(platform::WideToUtf8(*value)));
                result = RegSetValueExW(key, name->c_str(), 0, REG_DWORD,
                                        reinterpret_cast<const BYTE*>(&dword), sizeof dword);
            } else {
                result = RegSetValueExW(key, name->c_str(), 0, REG_SZ,
                                        reinterpret_cast<const BYTE*>(value->c_str()),
                                        static_cast<DWORD>((value->size() + 1) * sizeof(WCHAR)));
            }
            applied = applied && result == ERROR_SUCCESS;
        }
        RegCloseKey(key);
    }
    return applied;
}

}  // namespace

BOOL SHGetSpecialFolderPathW(HWND, LPWSTR path, int folder, BOOL create) {
    const char16_t* folderPath = FolderPath(folder);
    if (path == nullptr || folderPath == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    wcscpy(path, folderPath);
    if (IsFolder(folderPath))
        return TRUE;
    if (!create) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    return MakeFolders(folderPath) ? TRUE : FALSE;
}

BOOL SHFullScreen(HWND hwnd, DWORD state) {
    if (!IsWindow(hwnd) || ((state & SHFS_SHOWTASKBAR) && (state & SHFS_HIDETASKBAR)) ||
        ((state & SHFS_SHOWSIPBUTTON) && (state & SHFS_HIDESIPBUTTON)) ||
        ((state & SHFS_SHOWSTARTICON) && (state & SHFS_HIDESTARTICON))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    ShellState& shell = State();
    std::lock_guard guard(shell.lock);
    auto& fullScreen = shell.fullScreen;
    if (state & SHFS_SHOWTASKBAR)
        fullScreen.taskBarShown = true;
    if (state & SHFS_HIDETASKBAR)
        fullScreen.taskBarShown = false;
    if (state & SHFS_SHOWSIPBUTTON)
        fullScreen.sipButtonShown = true;
    if (state & SHFS_HIDESIPBUTTON)
        fullScreen.sipButtonShown = false;
    if (state & SHFS_SHOWSTARTICON)
        fullScreen.startIconShown = true;
    if (state & SHFS_HIDESTARTICON)
        fullScreen.startIconShown = false;
    fullScreen.window = hwnd;
    return TRUE;
}

BOOL SHInitDialog(PSHINITDLGINFO info) {
    if (info == nullptr || !IsWindow(info->hDlg)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!(info->dwMask & SHIDIM_FLAGS))
        return TRUE;
    DWORD flags = info->dwFlags;
    if (flags & (SHIDIF_SIZEDLG | SHIDIF_SIZEDLGFULLSCREEN)) {
        // The work area is the whole screen: there is no taskbar or menu bar here.
        SetWindowPos(info->hDlg, nullptr, 0, 0, GetSystemMetrics(SM_CXSCREEN),
                     GetSystemMetrics(SM_CYSCREEN), SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (flags & SHIDIF_DONEBUTTON) {
        LONG exStyle = GetWindowLongW(info->hDlg, GWL_EXSTYLE);
        SetWindowLongW(info->hDlg, GWL_EXSTYLE, exStyle | static_cast<LONG>(WS_EX_CAPTIONOKBTN));
    }
    if (flags & SHIDIF_SIPDOWN)
        SetSip(false);
    return TRUE;
}

BOOL SHInitExtraControls() {
    return TRUE;
}

BOOL SHDoneButton(HWND hwnd, DWORD) {
    if (!IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return TRUE;
}

BOOL SipShowIM(DWORD flags) {
    return SetSip((flags & SIPF_ON) != 0);
}

BOOL SipGetInfo(SIPINFO* info) {
    if (info == nullptr || info->cbSize != sizeof(SIPINFO)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    bool up;
    {
        ShellState& state = State();
        std::lock_guard guard(state.lock);
        up = state.sipUp;
    }
    info->fdwFlags = SIPF_DOCKED | (up ? SIPF_ON : SIPF_OFF);
    SipRects(up, &info->rcVisibleDesktop, &info->rcSipRect);
    info->dwImDataSize = 0;
    info->pvImData = nullptr;
    return TRUE;
}

BOOL SHSipInfo(UINT action, UINT, void* info, UINT) {
    auto* sip = static_cast<SIPINFO*>(info);
    switch (action) {
        case SPI_GETSIPINFO:
            return SipGetInfo(sip);
        case SPI_SETSIPINFO:
            if (sip == nullptr || sip->cbSize != sizeof(SIPINFO))
                break;
            return SetSip((sip->fdwFlags & SIPF_ON) != 0);
        default:
            break;
    }
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

BOOL SHSipPreference(HWND hwnd, SIPSTATE state) {
    if (!IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    switch (state) {
        case SIP_UP:
            return SetSip(true);
        case SIP_DOWN:
        case SIP_FORCEDOWN:
            return SetSip(false);
        case SIP_UNCHANGED:
        case SIP_INPUTDIALOG:
            return TRUE;
    }
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

BOOL SHCreateShortcut(LPWSTR shortcut, LPWSTR target) {
    if (shortcut == nullptr || target == nullptr || *target == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::u16string quoted(target);
    if (quoted.find(u' ') != std::u16string::npos && quoted.front() != u'"') {
        quoted = u"\"" + quoted + u"\"";
    }
    // The file is single-byte text; a target it cannot hold is refused rather than
    // written with '?' in place of characters.
    BOOL lossy = FALSE;
    int bytes = WideCharToMultiByte(CP_ACP, 0, quoted.c_str(), static_cast<int>(quoted.size()),
                                    nullptr, 0, nullptr, &lossy);
    if (bytes <= 0 || lossy) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return FALSE;
    }
    std::string text = std::to_string(quoted.size()) + "#";
    std::string body(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_ACP, 0, quoted.c_str(), static_cast<int>(quoted.size()), body.data(),
                        bytes, nullptr, nullptr);
    text += body;
    HANDLE file = CreateFileW(shortcut, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return FALSE;
    DWORD written = 0;
    BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
              written == text.size();
    CloseHandle(file);
    if (!ok)
        DeleteFileW(shortcut);
    return ok;
}

BOOL SHGetShortcutTarget(LPCWSTR shortcut, LPWSTR target, int maxChars) {
    if (shortcut == nullptr || target == nullptr || maxChars <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *target = 0;
    std::u16string wide;
    if (!platform::ReadShortcutTarget(shortcut, &wide))
        return FALSE;
    if (static_cast<int>(wide.size()) >= maxChars) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    wcscpy(target, wide.c_str());
    return TRUE;
}

HRESULT DMProcessConfigXML(LPCWSTR xmlIn, DWORD flags, LPWSTR* xmlOut) {
    if (xmlOut != nullptr)
        *xmlOut = nullptr;
    if (xmlIn == nullptr || xmlOut == nullptr)
        return E_INVALIDARG;
    std::u16string_view text(xmlIn);
    const std::optional<ProvisioningElement> document = ProvisioningReader(text).Read();
    if (!document)
        return E_INVALIDARG;
    if (flags & CFGFLAG_PROCESS) {
        for (const ProvisioningElement& characteristic : document->children) {
            const std::u16string* type = characteristic.Attribute(u"type");
            if (characteristic.name == u"characteristic" && type && *type == u"Metabase" &&
                !ApplyMetabase(characteristic))
                return E_FAIL;
        }
    }
    auto* copy = new WCHAR[text.size() + 1];
    wcscpy(copy, xmlIn);
    *xmlOut = copy;
    return S_OK;
}

namespace platform {

ShellFullScreen ShellFullScreenState() {
    ShellState& state = State();
    std::lock_guard guard(state.lock);
    return state.fullScreen;
}

void ResetShellState() {
    ShellState& state = State();
    std::lock_guard guard(state.lock);
    state.fullScreen = ShellFullScreen{};
    state.sipUp = false;
}

}  // namespace platform
