#include "platform/kernel/registry_tree.h"

#include <cstdio>

#include "platform/kernel/registry.h"

namespace platform::registry {
namespace {

constexpr const char* kRootNames[kRootCount] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",
                                                "HKEY_LOCAL_MACHINE"};

// Upper case for the scripts a name here plausibly uses: ASCII, Latin-1, Latin
// Extended-A, Greek and Cyrillic.
char16_t FoldChar(char16_t c) {
    if (c < 0x80) {
        return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 0x20) : c;
    }
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) {
        return static_cast<char16_t>(c - 0x20);
    }
    if (c == 0xFF) {
        return 0x178;
    }
    if (c >= 0x100 && c <= 0x17F) {
        if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) {
            return (c % 2 == 0) ? static_cast<char16_t>(c - 1) : c;
        }
        if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) {
            return c;
        }
        return (c % 2 == 1) ? static_cast<char16_t>(c - 1) : c;
    }
    if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) {
        return static_cast<char16_t>(c - 0x20);
    }
    if (c >= 0x430 && c <= 0x44F) {
        return static_cast<char16_t>(c - 0x20);
    }
    if (c >= 0x450 && c <= 0x45F) {
        return static_cast<char16_t>(c - 0x50);
    }
    return c;
}

bool IsHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

void AppendUtf16(std::u16string& out, char32_t cp) {
    if (cp < 0x10000) {
        out += static_cast<char16_t>(cp);
    } else {
        cp -= 0x10000;
        out += static_cast<char16_t>(0xD800 | (cp >> 10));
        out += static_cast<char16_t>(0xDC00 | (cp & 0x3FF));
    }
}

// Decodes one UTF-8 sequence at text[*pos]; rejects overlong forms, surrogates and
// values above U+10FFFF.
bool DecodeUtf8(std::string_view text, size_t* pos, char32_t* cp) {
    unsigned char lead = static_cast<unsigned char>(text[*pos]);
    size_t length;
    char32_t value;
    char32_t minimum;
    if (lead < 0x80) {
        *cp = lead;
        ++*pos;
        return true;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, value = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, value = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, value = lead & 0x07, minimum = 0x10000;
    } else {
        return false;
    }
    if (text.size() - *pos < length) {
        return false;
    }
    for (size_t i = 1; i < length; ++i) {
        unsigned char next = static_cast<unsigned char>(text[*pos + i]);
        if ((next & 0xC0) != 0x80) {
            return false;
        }
        value = (value << 6) | (next & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        return false;
    }
    *cp = value;
    *pos += length;
    return true;
}

bool Utf8ToUtf16(std::string_view text, std::u16string* out) {
    out->clear();
    size_t pos = 0;
    while (pos < text.size()) {
        char32_t cp;
        if (!DecodeUtf8(text, &pos, &cp)) {
            return false;
        }
        AppendUtf16(*out, cp);
    }
    return true;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Exactly `digits` hex digits.
bool ParseHex(std::string_view text, size_t digits, uint32_t* value) {
    if (text.size() != digits) {
        return false;
    }
    uint32_t result = 0;
    for (char c : text) {
        int digit = HexDigit(c);
        if (digit < 0) {
            return false;
        }
        result = (result << 4) | static_cast<uint32_t>(digit);
    }
    *value = result;
    return true;
}

std::string_view Trim(std::string_view text) {
    size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string_view::npos) {
        return {};
    }
    size_t end = text.find_last_not_of(" \t");
    return text.substr(begin, end - begin + 1);
}

bool EqualsIgnoringAsciiCase(std::string_view text, std::string_view upper) {
    if (text.size() != upper.size()) {
        return false;
    }
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if ((c >= 'a' && c <= 'z' ? static_cast<char>(c - 0x20) : c) != upper[i]) {
            return false;
        }
    }
    return true;
}

// ---- writing ----

void AppendEscapeUnit(std::string& out, char16_t c) {
    char buffer[8];
    snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(c));
    out += buffer;
}

void AppendQuoted(std::string& out, std::u16string_view text) {
    out += '"';
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        switch (c) {
            case u'\\':
                out += "\\\\";
                continue;
            case u'"':
                out += "\\\"";
                continue;
            case u'\n':
                out += "\\n";
                continue;
            case u'\r':
                out += "\\r";
                continue;
            case u'\t':
                out += "\\t";
                continue;
            default:
                break;
        }
        if (c < 0x20 || c == 0x7F) {
            AppendEscapeUnit(out, c);
        } else if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            AppendUtf8(out, 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) +
                                (static_cast<char32_t>(text[i + 1]) - 0xDC00));
            ++i;
        } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
            AppendEscapeUnit(out, c);  // unpaired: UTF-8 cannot carry it
        } else {
            AppendUtf8(out, c);
        }
    }
    out += '"';
}

void AppendKeyName(std::string& out, std::u16string_view name) {
    for (size_t i = 0; i < name.size(); ++i) {
        char16_t c = name[i];
        if (IsHighSurrogate(c)) {  // a valid key name has only paired surrogates
            AppendUtf8(out, 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) +
                                (static_cast<char32_t>(name[i + 1]) - 0xDC00));
            ++i;
        } else {
            AppendUtf8(out, c);
        }
    }
}

void AppendValue(std::string& out, const RegValue& value) {
    AppendQuoted(out, value.name);
    out += '=';
    const std::vector<BYTE>& data = value.data;
    char buffer[32];
    if (value.type == REG_DWORD && data.size() == 4) {
        uint32_t number =
            data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<uint32_t>(data[3]) << 24);
        snprintf(buffer, sizeof buffer, "dword:%08x", number);
        out += buffer;
    } else if (value.type == REG_SZ && data.size() >= 2 && data.size() % 2 == 0 &&
               data[data.size() - 1] == 0 && data[data.size() - 2] == 0) {
        std::u16string text;
        for (size_t i = 0; i + 2 < data.size(); i += 2) {
            text += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
        }
        AppendQuoted(out, text);
    } else {
        if (value.type == REG_BINARY) {
            out += "hex:";
        } else {
            snprintf(buffer, sizeof buffer, "hex(%x):", static_cast<unsigned>(value.type));
            out += buffer;
        }
        for (size_t i = 0; i < data.size(); ++i) {
            snprintf(buffer, sizeof buffer, i == 0 ? "%02x" : ",%02x", data[i]);
            out += buffer;
        }
    }
    out += '\n';
}

void AppendKey(std::string& out, const std::string& parentPath, const RegKey& key) {
    std::string path = parentPath;
    path += '\\';
    AppendKeyName(path, key.name);
    out += '[';
    out += path;
    out += "]\n";
    for (const RegValue& value : key.values) {
        AppendValue(out, value);
    }
    out += '\n';
    for (const auto& [folded, child] : key.children) {
        AppendKey(out, path, *child);
    }
}

// ---- reading ----

// Parses a quoted string at text[0]; *rest receives what follows the closing quote.
bool ParseQuoted(std::string_view text, std::u16string* out, std::string_view* rest) {
    if (text.empty() || text[0] != '"') {
        return false;
    }
    out->clear();
    size_t pos = 1;
    while (pos < text.size()) {
        char c = text[pos];
        if (c == '"') {
            *rest = text.substr(pos + 1);
            return true;
        }
        if (c != '\\') {
            char32_t cp;
            if (!DecodeUtf8(text, &pos, &cp)) {
                return false;
            }
            AppendUtf16(*out, cp);
            continue;
        }
        if (pos + 1 >= text.size()) {
            return false;
        }
        char escape = text[pos + 1];
        pos += 2;
        switch (escape) {
            case '\\':
                *out += u'\\';
                break;
            case '"':
                *out += u'"';
                break;
            case 'n':
                *out += u'\n';
                break;
            case 'r':
                *out += u'\r';
                break;
            case 't':
                *out += u'\t';
                break;
            case 'u': {
                uint32_t unit;
                if (pos + 4 > text.size() || !ParseHex(text.substr(pos, 4), 4, &unit)) {
                    return false;
                }
                *out += static_cast<char16_t>(unit);
                pos += 4;
                break;
            }
            default:
                return false;
        }
    }
    return false;  // no closing quote: a cut line
}

bool ParseHexBytes(std::string_view text, std::vector<BYTE>* out) {
    out->clear();
    text = Trim(text);
    if (text.empty()) {
        return true;
    }
    while (true) {
        size_t comma = text.find(',');
        uint32_t byte;
        if (!ParseHex(Trim(text.substr(0, comma)), 2, &byte)) {
            return false;
        }
        out->push_back(static_cast<BYTE>(byte));
        if (comma == std::string_view::npos) {
            return true;
        }
        text = text.substr(comma + 1);
    }
}

bool ParseData(std::string_view text, RegValue* value) {
    constexpr std::string_view kDword = "dword:";
    constexpr std::string_view kHex = "hex:";
    constexpr std::string_view kHexTyped = "hex(";
    if (!text.empty() && text[0] == '"') {
        std::u16string content;
        std::string_view rest;
        if (!ParseQuoted(text, &content, &rest) || !Trim(rest).empty()) {
            return false;
        }
        value->type = REG_SZ;
        value->data.clear();
        for (char16_t c : content) {
            value->data.push_back(static_cast<BYTE>(c & 0xFF));
            value->data.push_back(static_cast<BYTE>(c >> 8));
        }
        value->data.push_back(0);
        value->data.push_back(0);
        return true;
    }
    if (text.substr(0, kDword.size()) == kDword) {
        uint32_t number;
        if (!ParseHex(text.substr(kDword.size()), 8, &number)) {
            return false;
        }
        value->type = REG_DWORD;
        value->data = {static_cast<BYTE>(number), static_cast<BYTE>(number >> 8),
                       static_cast<BYTE>(number >> 16), static_cast<BYTE>(number >> 24)};
        return true;
    }
    if (text.substr(0, kHex.size()) == kHex) {
        value->type = REG_BINARY;
        return ParseHexBytes(text.substr(kHex.size()), &value->data);
    }
    if (text.substr(0, kHexTyped.size()) == kHexTyped) {
        size_t close = text.find("):");
        if (close == std::string_view::npos) {
            return false;
        }
        std::string_view digits = text.substr(kHexTyped.size(), close - kHexTyped.size());
        uint32_t type;
        if (digits.empty() || digits.size() > 8 || !ParseHex(digits, digits.size(), &type)) {
            return false;
        }
        value->type = type;
        return ParseHexBytes(text.substr(close + 2), &value->data);
    }
    return false;
}

bool ParseValueLine(std::string_view line, RegValue* value) {
    std::string_view rest;
    if (!ParseQuoted(line, &value->name, &rest) || value->name.size() > kMaxValueNameLength) {
        return false;
    }
    rest = Trim(rest);
    if (rest.empty() || rest[0] != '=') {
        return false;
    }
    if (!ParseData(Trim(rest.substr(1)), value)) {
        return false;
    }
    value->folded = FoldName(value->name);
    return true;
}

// "[HKEY_...\A\B]" (brackets already removed): the key, created with its parents.
RegKey* ParseKeyPath(std::string_view path, RegTree* tree) {
    size_t separator = path.find('\\');
    std::string_view rootName = path.substr(0, separator);
    RegKey* key = nullptr;
    for (int root = 0; root < kRootCount; ++root) {
        if (EqualsIgnoringAsciiCase(rootName, kRootNames[root])) {
            key = &tree->roots[root];
        }
    }
    if (!key || separator == std::string_view::npos) {
        return key;
    }
    // Validate the whole path before creating anything, so a bad line adds no key.
    std::vector<std::u16string> names;
    std::string_view rest = path.substr(separator + 1);
    while (true) {
        size_t next = rest.find('\\');
        std::u16string name;
        if (!Utf8ToUtf16(rest.substr(0, next), &name) || !IsValidKeyName(name) ||
            names.size() >= kMaxKeyDepth) {
            return nullptr;
        }
        names.push_back(std::move(name));
        if (next == std::string_view::npos) {
            break;
        }
        rest = rest.substr(next + 1);
    }
    for (const std::u16string& name : names) {
        bool created;
        key = key->AddChild(name, &created);
    }
    return key;
}

}  // namespace

const char* RootName(int root) {
    return kRootNames[root];
}

std::u16string FoldName(std::u16string_view name) {
    std::u16string folded(name);
    for (char16_t& c : folded) {
        c = FoldChar(c);
    }
    return folded;
}

bool IsValidKeyName(std::u16string_view name) {
    if (name.empty() || name.size() > kMaxKeyNameLength) {
        return false;
    }
    for (size_t i = 0; i < name.size(); ++i) {
        char16_t c = name[i];
        if (c < 0x20 || c == 0x7F || c == u'\\' || IsLowSurrogate(c)) {
            return false;
        }
        if (IsHighSurrogate(c)) {
            if (i + 1 >= name.size() || !IsLowSurrogate(name[i + 1])) {
                return false;
            }
            ++i;
        }
    }
    return true;
}

RegKey* RegKey::FindChild(std::u16string_view childName) const {
    auto it = children.find(FoldName(childName));
    return it == children.end() ? nullptr : it->second.get();
}

RegKey* RegKey::AddChild(std::u16string_view childName, bool* created) {
    std::unique_ptr<RegKey>& slot = children[FoldName(childName)];
    *created = !slot;
    if (!slot) {
        slot = std::make_unique<RegKey>();
        slot->name = childName;
    }
    return slot.get();
}

RegValue* RegKey::FindValue(std::u16string_view valueName) {
    std::u16string folded = FoldName(valueName);
    for (RegValue& value : values) {
        if (value.folded == folded) {
            return &value;
        }
    }
    return nullptr;
}

ParsedRegistry ParseRegistryText(std::string_view text) {
    ParsedRegistry result;
    if (text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
    }
    RegKey* current = nullptr;
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = Trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r') {
            line = Trim(line.substr(0, line.size() - 1));
        }
        if (line.empty() || line[0] == ';') {
            continue;
        }
        if (line[0] == '[') {
            current = line.back() == ']' && line.size() >= 2
                          ? ParseKeyPath(line.substr(1, line.size() - 2), &result.tree)
                          : nullptr;
            if (!current) {
                ++result.badLines;
            }
            continue;
        }
        RegValue value;
        if (!current || !ParseValueLine(line, &value)) {
            ++result.badLines;
            continue;
        }
        if (RegValue* existing = current->FindValue(value.name)) {
            *existing = std::move(value);
        } else {
            current->values.push_back(std::move(value));
        }
    }
    return result;
}

std::string FormatRegistryText(const RegTree& tree) {
    std::string out;
    for (int root = 0; root < kRootCount; ++root) {
        const RegKey& key = tree.roots[root];
        std::string path = kRootNames[root];
        if (!key.values.empty()) {
            out += '[' + path + "]\n";
            for (const RegValue& value : key.values) {
                AppendValue(out, value);
            }
            out += '\n';
        }
        for (const auto& [folded, child] : key.children) {
            AppendKey(out, path, *child);
        }
    }
    return out;
}

}  // namespace platform::registry
