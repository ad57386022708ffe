#include "formats/namdict.h"

#include <cstring>

#include "formats/little_endian.h"

namespace formats::namdict {
namespace {

void AppendU32(std::vector<uint8_t>* out, uint32_t value) {
    const size_t at = out->size();
    out->resize(at + kLengthSize);
    StoreU32(out->data() + at, value);
}

// Texts longer than a reader takes are cut, so that what is written reads back.
void AppendText(std::vector<uint8_t>* out, const std::string& text) {
    const size_t length = std::min<size_t>(text.size(), kMaxTextLength);
    AppendU32(out, static_cast<uint32_t>(length));
    out->insert(out->end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(length));
}

// Takes one text at *at; false when its length is out of range or past the end.
bool TakeText(std::span<const uint8_t> bytes, size_t* at, std::string* text) {
    if (bytes.size() - *at < kLengthSize)
        return false;
    const uint32_t length = LoadU32(bytes.data() + *at);
    *at += kLengthSize;
    if (length > kMaxTextLength || length > bytes.size() - *at)
        return false;
    text->assign(reinterpret_cast<const char*>(bytes.data() + *at), length);
    *at += length;
    return true;
}

}  // namespace

std::vector<uint8_t> EncodeRegions(std::span<const uint32_t> entries,
                                   std::span<const std::string> names) {
    std::vector<uint8_t> out(kRegionMagic, kRegionMagic + kMagicSize);
    AppendU32(&out, static_cast<uint32_t>(names.size()));
    AppendU32(&out, static_cast<uint32_t>(entries.size()));
    for (uint32_t entry : entries)
        AppendU32(&out, entry);
    for (const std::string& name : names)
        AppendText(&out, name);
    return out;
}

std::vector<uint8_t> EncodeCity(const std::string& state, const std::string& city,
                                const std::string& radius) {
    std::vector<uint8_t> out(kCityMagic, kCityMagic + kMagicSize);
    AppendText(&out, state);
    AppendText(&out, city);
    AppendText(&out, radius);
    return out;
}

std::optional<Dictionary> Decode(std::span<const uint8_t> bytes) {
    bytes = bytes.first(std::min(bytes.size(), kMaxReadSize));
    if (bytes.size() < kMagicSize)
        return std::nullopt;
    Dictionary dictionary;
    if (std::memcmp(bytes.data(), kCityMagic, kMagicSize) == 0) {
        dictionary.kind = Dictionary::Kind::City;
        size_t at = kCityTextsOffset;
        if (!TakeText(bytes, &at, &dictionary.state) || !TakeText(bytes, &at, &dictionary.city) ||
            !TakeText(bytes, &at, &dictionary.radius))
            return std::nullopt;
        return dictionary;
    }
    if (std::memcmp(bytes.data(), kRegionMagic, kMagicSize) != 0 || bytes.size() < kEntriesOffset)
        return std::nullopt;
    const uint64_t nameCount = LoadU32(bytes.data() + kNameCountOffset);
    const uint64_t entryCount = LoadU32(bytes.data() + kEntryCountOffset);
    const uint64_t namesAt = kEntriesOffset + entryCount * kLengthSize;
    if (bytes.size() <= namesAt)
        return std::nullopt;
    // Every name takes its length word at least.
    if (nameCount > (bytes.size() - namesAt) / kLengthSize)
        return std::nullopt;
    for (uint64_t i = 0; i < entryCount; ++i)
        dictionary.entries.push_back(LoadU32(bytes.data() + kEntriesOffset + i * kLengthSize));
    size_t at = static_cast<size_t>(namesAt);
    for (uint64_t i = 0; i < nameCount; ++i) {
        std::string name;
        if (!TakeText(bytes, &at, &name))
            return std::nullopt;
        dictionary.names.push_back(std::move(name));
    }
    return dictionary;
}

}  // namespace formats::namdict
