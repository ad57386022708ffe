#include "pathlume/search/contact_addresses.h"

#include <cctype>

#include "formats/names.h"
#include "platform/kernel/text.h"

namespace {

constexpr size_t kMapNameLength = 79;
constexpr const char16_t* kLabels[kContactAddressCount] = {u"Home\n", u"Work\n", u"Other\n"};

bool BeginsWith(const char* row, const char* word) {
    for (; *word; ++word, ++row) {
        if (std::toupper(static_cast<unsigned char>(*row)) != *word)
            return false;
    }
    return true;
}

}  // namespace

int32_t ContactAddressKind(const ContactAddress& address, int index) {
    static constexpr int32_t kKinds[kContactAddressCount] = {1, 0, 2};
    const bool usable =
        !address.street.empty() && (!address.city.empty() || !address.postalCode.empty());
    return usable && index >= 0 && index < kContactAddressCount ? kKinds[index] : kUnusableAddress;
}

std::string JoinContactAddresses(const ContactAddresses& addresses) {
    std::u16string joined;
    for (int i = 0; i < kContactAddressCount; ++i) {
        const ContactAddress& a = addresses[i];
        if (a.kind == kUnusableAddress)
            continue;
        joined +=
            kLabels[i] + a.street + u"\n" + a.city + u", " + a.state + u"  " + a.postalCode + u"|";
    }
    std::string text = platform::WideToAnsi(joined);
    if (text.size() >= kContactLinesSize)
        text.resize(kContactLinesSize - 1);
    return text;
}

int ChooseContactRecord(const char* row) {
    if (!row)
        return kContactOther;
    if (BeginsWith(row, "HOME"))
        return kContactHome;
    if (BeginsWith(row, "WORK"))
        return kContactWork;
    return kContactOther;
}

std::string ToMapNameText(const std::u16string& text) {
    return formats::names::ToNameText(platform::WideToUtf8(text), kMapNameLength);
}
