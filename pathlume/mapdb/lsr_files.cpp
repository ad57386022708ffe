#include "pathlume/mapdb/lsr_files.h"

#include "formats/name_index.h"
#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/data_location.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/mapdb/index_file_io.h"

namespace {
namespace ni = formats::name_index;

// A text of "lsrs.bin" when its length is at most maxLength; false otherwise.
bool ReadText(CDataFile& file, int32_t offset, size_t maxLength, char* text) {
    uint8_t length = 0;
    if (!index_io::ReadAt(file, offset, &length, 1) || length > maxLength ||
        file.Read(text, length) != length)
        return false;
    text[length] = '\0';
    return true;
}
}  // namespace

int LsrFiles::Open() {
    const DWORD flags = kDataFileRead;
    if (pairs_.OpenInFolder(g_dataFolder, u"lsr.bin", flags, nullptr) != 0 ||
        CheckDataFileHeader(pairs_, ni::kPairMagic, u"lsr.bin") != 0 ||
        texts_.OpenInFolder(g_dataFolder, u"lsrs.bin", flags, nullptr) != 0 ||
        CheckDataFileHeader(texts_, ni::kTextMagic, u"lsrs.bin") != 0) {
        Close();
        return 1;
    }
    return 0;
}

void LsrFiles::Close() {
    pairs_.Close();
    texts_.Close();
}

int LsrFiles::GetName(int32_t offset, char* buffer, size_t size) {
    if (size == 0)
        return 1;
    buffer[0] = '\0';
    uint8_t bytes[ni::kPairSize];
    if (offset < 0 || !pairs_.IsOpen() || !texts_.IsOpen() ||
        !index_io::ReadAt(pairs_, offset, bytes, sizeof bytes))
        return 1;
    const ni::NamePair pair = ni::DecodeNamePair(bytes);
    char text[ni::kMaxNameTextLength + 1];
    if (pair.exitText >= 0 && ReadText(texts_, pair.exitText, ni::kMaxExitTextLength, text)) {
        WCHAR exitWord[260];
        LoadResString(6234, exitWord, 260, FALSE);
        for (const WCHAR* c = exitWord; *c; ++c) {
            const char byte = static_cast<char>(*c);
            index_io::Append(buffer, size, std::string_view(&byte, 1));
        }
        index_io::Append(buffer, size, " ");
        index_io::Append(buffer, size, text);
    }
    if (pair.nameText >= 0 && ReadText(texts_, pair.nameText, ni::kMaxNameTextLength, text)) {
        if (buffer[0])
            index_io::Append(buffer, size, ": ");
        index_io::Append(buffer, size, text);
    }
    return buffer[0] ? 0 : 1;
}
