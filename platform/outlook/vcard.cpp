#include "platform/outlook/vcard.h"

#include <algorithm>
#include <cctype>
#include <optional>

#include "platform/kernel/text.h"

namespace platform::outlook {
namespace {

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// One property line: its name without the group, its parameters (names and values
// lower-cased, bare 2.1 parameters under "type") and its raw value.
struct Property {
    std::string name;
    std::vector<std::pair<std::string, std::string>> parameters;
    std::string value;

    bool Has(std::string_view parameter, std::string_view value) const {
        for (const auto& [n, v] : parameters) {
            if (n != parameter)
                continue;
            // A parameter may list several values: "home,work".
            size_t start = 0;
            while (start <= v.size()) {
                const size_t end = std::min(v.find(',', start), v.size());
                if (Trim(std::string_view(v).substr(start, end - start)) == value)
                    return true;
                start = end + 1;
            }
        }
        return false;
    }
    std::string Get(std::string_view parameter) const {
        for (const auto& [n, v] : parameters)
            if (n == parameter)
                return v;
        return {};
    }
    bool QuotedPrintable() const {
        return Has("encoding", "quoted-printable") || Has("type", "quoted-printable");
    }
};

// Splits "GROUP.NAME;P=V;BARE:VALUE"; none for a line without a colon outside quotes.
std::optional<Property> ParseLine(std::string_view line) {
    size_t colon = std::string_view::npos;
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"')
            quoted = !quoted;
        else if (line[i] == ':' && !quoted) {
            colon = i;
            break;
        }
    }
    if (colon == std::string_view::npos)
        return std::nullopt;
    Property property;
    property.value = std::string(line.substr(colon + 1));
    std::vector<std::string_view> parts;
    size_t start = 0;
    quoted = false;
    for (size_t i = 0; i <= colon; ++i) {
        if (i < colon && line[i] == '"')
            quoted = !quoted;
        if (i == colon || (line[i] == ';' && !quoted)) {
            parts.push_back(line.substr(start, i - start));
            start = i + 1;
        }
    }
    std::string name = Lower(Trim(parts[0]));
    if (const size_t dot = name.rfind('.'); dot != std::string::npos)
        name.erase(0, dot + 1);
    if (name.empty())
        return std::nullopt;
    property.name = name;
    for (size_t i = 1; i < parts.size(); ++i) {
        const std::string_view part = Trim(parts[i]);
        const size_t equals = part.find('=');
        std::string value =
            Lower(equals == std::string_view::npos ? part : part.substr(equals + 1));
        value.erase(std::remove(value.begin(), value.end(), '"'), value.end());
        property.parameters.emplace_back(
            equals == std::string_view::npos ? "type" : Lower(Trim(part.substr(0, equals))), value);
    }
    return property;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

std::string DecodeQuotedPrintable(std::string_view text) {
    std::string bytes;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '=' && i + 2 < text.size()) {
            const int high = HexDigit(text[i + 1]);
            const int low = HexDigit(text[i + 2]);
            if (high >= 0 && low >= 0) {
                bytes.push_back(static_cast<char>(high * 16 + low));
                i += 2;
                continue;
            }
        }
        bytes.push_back(text[i]);
    }
    return bytes;
}

// The fields of a structured value, split at unescaped ';' and unescaped.
std::vector<std::string> SplitFields(std::string_view value) {
    std::vector<std::string> fields(1);
    for (size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c == '\\' && i + 1 < value.size()) {
            const char next = value[++i];
            fields.back() += next == 'n' || next == 'N' ? '\n' : next;
        } else if (c == ';') {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

class CardBuilder {
  public:
    void Take(const Property& property) {
        const std::string raw =
            property.QuotedPrintable() ? DecodeQuotedPrintable(property.value) : property.value;
        const std::string charset = property.Get("charset");
        const bool latin1 = charset == "iso-8859-1" || charset == "windows-1252" ||
                            charset == "latin1" || charset == "cp1252";
        const auto text = [&](const std::string& bytes) {
            std::u16string wide = latin1 ? AnsiToWide(bytes) : Utf8ToWide(bytes);
            // A line break inside a field reads as a comma and a blank.
            std::u16string flat;
            for (char16_t c : wide) {
                if (c == u'\n') {
                    flat += u", ";
                } else if (c != u'\r') {
                    flat += c;
                }
            }
            const size_t first = flat.find_first_not_of(u" \t");
            const size_t last = flat.find_last_not_of(u" \t");
            return first == std::u16string::npos ? std::u16string()
                                                 : flat.substr(first, last - first + 1);
        };
        const std::vector<std::string> fields = SplitFields(raw);
        const auto field = [&](size_t i) { return i < fields.size() ? text(fields[i]) : u""; };
        if (property.name == "fn") {
            formatted_ = field(0);
            for (size_t i = 1; i < fields.size(); ++i) {
                formatted_ += u';';
                formatted_ += field(i);
            }
        } else if (property.name == "n") {
            // Family; given; further names; prefixes; suffixes.
            const std::u16string family = field(0);
            const std::u16string given = field(1);
            structured_ = given + (given.empty() || family.empty() ? u"" : u" ") + family;
        } else if (property.name == "org") {
            if (organisation_.empty())
                organisation_ = field(0);
        } else if (property.name == "adr") {
            const AddressKind kind = property.Has("type", "home")   ? AddressKind::kHome
                                     : property.Has("type", "work") ? AddressKind::kWork
                                                                    : AddressKind::kOther;
            PostalAddress& address = card_.addresses[static_cast<int>(kind)];
            if (address.present)
                return;
            // PO box; extended address; street; locality; region; postal code; country.
            address.street = field(2).empty() ? field(1) : field(2);
            address.city = field(3);
            address.state = field(4);
            address.postalCode = field(5);
            address.country = field(6);
            address.present = true;
        }
    }

    Card Finish() {
        card_.name = !formatted_.empty()    ? formatted_
                     : !structured_.empty() ? structured_
                                            : organisation_;
        return std::move(card_);
    }

  private:
    Card card_;
    std::u16string formatted_;
    std::u16string structured_;
    std::u16string organisation_;
};

// The physical lines, unfolded: a line that begins with a blank or a tab continues the
// one before, and a quoted-printable line ending in '=' continues on the next.
std::vector<std::string> LogicalLines(std::string_view text) {
    std::vector<std::string> lines;
    bool softBreak = false;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (softBreak && !lines.empty()) {
            lines.back().pop_back();  // the '='
            lines.back() += line;
        } else if (!line.empty() && (line[0] == ' ' || line[0] == '\t') && !lines.empty()) {
            lines.back() += line.substr(1);
        } else if (!line.empty()) {
            lines.emplace_back(line);
        } else {
            continue;
        }
        const std::string& last = lines.back();
        const std::string upper = Lower(last.substr(0, last.find(':')));
        softBreak = !last.empty() && last.back() == '=' &&
                    upper.find("quoted-printable") != std::string::npos;
    }
    return lines;
}

}  // namespace

std::vector<Card> ReadVCards(std::string_view text) {
    // A UTF-8 byte-order mark is not part of the first line.
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    std::vector<Card> cards;
    std::optional<CardBuilder> card;
    bool broken = false;
    for (const std::string& line : LogicalLines(text)) {
        const std::optional<Property> property = ParseLine(line);
        const std::string value = property ? Lower(Trim(property->value)) : std::string();
        if (property && property->name == "begin" && value == "vcard") {
            // A BEGIN inside a card breaks the card before it.
            card.emplace();
            broken = false;
            continue;
        }
        if (!card)
            continue;
        if (property && property->name == "end" && value == "vcard") {
            if (!broken)
                cards.push_back(card->Finish());
            card.reset();
            continue;
        }
        if (!property) {
            broken = true;
            continue;
        }
        card->Take(*property);
    }
    // Cut off at the end: what was read counts.
    if (card && !broken)
        cards.push_back(card->Finish());
    return cards;
}

}  // namespace platform::outlook
