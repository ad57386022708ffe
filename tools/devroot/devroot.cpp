#include "tools/devroot/devroot.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "platform/cards/cards.h"
#include "platform/user/user.h"

namespace devroot {
namespace {

std::string Lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

TypedValue Dword(uint32_t value) {
    TypedValue typed{REG_DWORD, std::vector<BYTE>(4)};
    for (int i = 0; i < 4; ++i) {
        typed.data[static_cast<size_t>(i)] = static_cast<BYTE>(value >> (8 * i));
    }
    return typed;
}

// The device root is taken as given, never made: a mistyped root must not become a
// new, empty device.
bool UseRoot(const std::filesystem::path& root, std::ostream& err) {
    std::error_code error;
    if (!std::filesystem::is_directory(root, error)) {
        err << "devroot: " << root.string() << " is not a folder\n";
        return false;
    }
    platform::SetCurrentSide(platform::Side::Device);
    platform::SetDeviceRoot(root);
    return true;
}

// The key's root and subkey on the device root; false (said on `err`) when either is
// wrong.
bool UseKey(const std::filesystem::path& root, const std::string& key, HKEY* predefined,
            std::u16string* subKey, std::ostream& err) {
    if (!SplitKey(key, predefined, subKey)) {
        err << "devroot: " << key << " does not begin HKCU\\ or HKLM\\\n";
        return false;
    }
    return UseRoot(root, err);
}

}  // namespace

std::optional<TypedValue> ParseTypedValue(const std::string& text, std::string* error) {
    const size_t colon = text.find(':');
    const std::string kind = colon == std::string::npos ? std::string() : text.substr(0, colon);
    const std::string body = colon == std::string::npos ? std::string() : text.substr(colon + 1);
    if (kind == "sz") {
        std::u16string wide = platform::Utf8ToWide(body);
        TypedValue typed{REG_SZ, {}};
        for (char16_t c : wide) {
            typed.data.push_back(static_cast<BYTE>(c & 0xFF));
            typed.data.push_back(static_cast<BYTE>(c >> 8));
        }
        typed.data.insert(typed.data.end(), {0, 0});
        return typed;
    }
    char* end = nullptr;
    errno = 0;
    if (kind == "dword" && !body.empty()) {
        if (body[0] == '-') {
            long long value = std::strtoll(body.c_str(), &end, 10);
            if (errno == 0 && *end == '\0' && value >= INT32_MIN && value < 0) {
                return Dword(static_cast<uint32_t>(static_cast<int32_t>(value)));
            }
        } else if (body[0] != '+') {
            unsigned long long value = std::strtoull(body.c_str(), &end, 0);
            if (errno == 0 && *end == '\0' && value <= 0xFFFFFFFFull) {
                return Dword(static_cast<uint32_t>(value));
            }
        }
        *error = "dword: needs a whole number that fits 32 bits, not \"" + body + "\"";
        return std::nullopt;
    }
    if (kind == "float" && !body.empty()) {
        float value = std::strtof(body.c_str(), &end);
        if (errno == 0 && *end == '\0' && std::isfinite(value)) {
            uint32_t bits = 0;
            std::memcpy(&bits, &value, sizeof bits);
            TypedValue typed = Dword(bits);
            typed.isFloat = true;
            return typed;
        }
        *error = "float: needs a finite number, not \"" + body + "\"";
        return std::nullopt;
    }
    *error = "a value is dword:N, sz:TEXT or float:X, not \"" + text + "\"";
    return std::nullopt;
}

bool SplitKey(const std::string& key, HKEY* root, std::u16string* subKey) {
    const size_t slash = key.find('\\');
    if (slash == std::string::npos || slash + 1 >= key.size()) {
        return false;
    }
    const std::string head = Lower(key.substr(0, slash));
    if (head == "hkcu" || head == "hkey_current_user") {
        *root = HKEY_CURRENT_USER;
    } else if (head == "hklm" || head == "hkey_local_machine") {
        *root = HKEY_LOCAL_MACHINE;
    } else {
        return false;
    }
    *subKey = platform::Utf8ToWide(key.substr(slash + 1));
    return true;
}

std::string FormatValue(const TypedValue& value) {
    if (value.type == REG_DWORD && value.data.size() == 4) {
        uint32_t number = 0;
        for (int i = 3; i >= 0; --i) {
            number = (number << 8) | value.data[static_cast<size_t>(i)];
        }
        if (!value.isFloat)
            return std::to_string(number);
        float held = 0;
        std::memcpy(&held, &number, sizeof held);
        char text[32];
        const std::to_chars_result written = std::to_chars(text, text + sizeof text, held);
        return std::string(text, written.ptr);
    }
    if (value.type == REG_SZ && value.data.size() % 2 == 0) {
        std::u16string text;
        for (size_t i = 0; i + 1 < value.data.size(); i += 2) {
            text.push_back(static_cast<char16_t>(value.data[i] | (value.data[i + 1] << 8)));
        }
        while (!text.empty() && text.back() == 0) {
            text.pop_back();
        }
        return platform::WideToUtf8(text);
    }
    std::string hex;
    static const char kDigits[] = "0123456789abcdef";
    for (BYTE byte : value.data) {
        if (!hex.empty()) {
            hex += ',';
        }
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 15];
    }
    return hex;
}

bool StoredAsFloat(const std::string& valueName) {
    const std::string name = Lower(valueName);
    return name == "lastlat" || name == "lastlon" || name == "lasthead";
}

int MakeCard(const std::filesystem::path& root, const std::string& name, std::ostream& out,
             std::ostream& err) {
    if (!UseRoot(root, err)) {
        return 1;
    }
    std::u16string wide = platform::Utf8ToWide(name);
    if (!platform::MakeStorageCard(wide.c_str())) {
        err << "devroot: cannot make " << (root / name).string() << " a storage card\n";
        return 1;
    }
    out << "devroot: " << (root / name).string() << " is a storage card\n";
    return 0;
}

int SetValue(const std::filesystem::path& root, const std::string& key, const std::string& value,
             const TypedValue& typed, std::ostream& out, std::ostream& err) {
    HKEY predefined = nullptr;
    std::u16string subKey;
    if (!UseKey(root, key, &predefined, &subKey, err)) {
        return 1;
    }
    HKEY opened = nullptr;
    const std::u16string name = platform::Utf8ToWide(value);
    LONG result = RegCreateKeyExW(predefined, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_WRITE, nullptr, &opened, nullptr);
    if (result == ERROR_SUCCESS) {
        result = RegSetValueExW(opened, name.c_str(), 0, typed.type, typed.data.data(),
                                static_cast<DWORD>(typed.data.size()));
        RegCloseKey(opened);
    }
    if (result != ERROR_SUCCESS) {
        err << "devroot: cannot write " << key << "\\" << value << " (error " << result << ")\n";
        return 1;
    }
    out << "devroot: " << key << "\\" << value << " = " << FormatValue(typed) << "\n";
    return 0;
}

int GetValue(const std::filesystem::path& root, const std::string& key, const std::string& value,
             std::optional<bool> asFloat, std::ostream& out, std::ostream& err) {
    HKEY predefined = nullptr;
    std::u16string subKey;
    if (!UseKey(root, key, &predefined, &subKey, err)) {
        return 1;
    }
    HKEY opened = nullptr;
    const std::u16string name = platform::Utf8ToWide(value);
    TypedValue typed;
    DWORD size = 0;
    LONG result = RegOpenKeyExW(predefined, subKey.c_str(), 0, KEY_READ, &opened);
    if (result == ERROR_SUCCESS) {
        result = RegQueryValueExW(opened, name.c_str(), nullptr, &typed.type, nullptr, &size);
        if (result == ERROR_SUCCESS) {
            typed.data.resize(size);
            result = RegQueryValueExW(opened, name.c_str(), nullptr, &typed.type, typed.data.data(),
                                      &size);
            typed.data.resize(size);
        }
        RegCloseKey(opened);
    }
    if (result != ERROR_SUCCESS) {
        err << "devroot: " << key << "\\" << value << " is not set\n";
        return 1;
    }
    typed.isFloat = asFloat.value_or(StoredAsFloat(value));
    out << FormatValue(typed) << "\n";
    return 0;
}

int Settle(const std::filesystem::path& root, std::ostream& out) {
    platform::SettleReplacedRoot(root);
    std::error_code error;
    const bool there = std::filesystem::is_directory(root, error);
    out << "devroot: " << root.string() << (there ? " is there\n" : " is not there\n");
    return 0;
}

int CloseProgram(const std::filesystem::path& root, std::ostream& out, std::ostream& err) {
    if (!UseRoot(root, err)) {
        return 1;
    }
    // The class the navigation program's main window is found by.
    const HWND program = FindWindowW(u"WCE_TravonaWCls", nullptr);
    if (!program || !PostMessageW(program, WM_CLOSE, 0, 0)) {
        err << "devroot: no navigation program runs on " << root.string() << "\n";
        return 1;
    }
    out << "devroot: asked the navigation program on " << root.string() << " to close\n";
    return 0;
}

}  // namespace devroot
