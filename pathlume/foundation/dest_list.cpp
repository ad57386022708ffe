#include "pathlume/foundation/dest_list.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "formats/little_endian.h"
#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/data_file.h"
#include "pathlume/foundation/data_location.h"
#include "pathlume/foundation/heap.h"
#include "pathlume/foundation/name_text.h"
#include "platform/afx/afx.h"
#include "platform/kernel/files.h"

char g_destinationText[kDestinationTextSize];

namespace {

std::atomic<IDestinationRouter*> g_destinationRouter{nullptr};

// As names compare (case, '-' and '*', brackets and accents aside); an absent text
// compares as the empty one.
int CompareTextNoCase(const char* a, const char* b) {
    return CompareNoCase(a ? a : "", b ? b : "", -1);
}

bool TextsEqual(const char* a, const char* b) {
    if (!a || !b) {
        return !a && !b;
    }
    return CompareTextNoCase(a, b) == 0;
}

const char* WithoutMarker(const char* line) {
    return (line && line[0] == '\x01') ? line + 1 : line;
}

char* CopyText(const char* text) {
    size_t length = std::strlen(text);
    char* copy = new (std::nothrow) char[length + 1];
    if (copy) {
        std::memcpy(copy, text, length + 1);
    }
    return copy;
}

// The records a reader made, freed with it.
struct OwnedRecords {
    std::vector<DestRecord*> items;
    OwnedRecords() = default;
    OwnedRecords(const OwnedRecords&) = delete;
    OwnedRecords& operator=(const OwnedRecords&) = delete;
    ~OwnedRecords() {
        for (DestRecord* record : items) {
            delete record;
        }
    }
};

enum class ListState {
    Missing,     // no file
    Unopenable,  // there, but cannot be opened
    Unreadable,  // wrong magic, or no whole count
    Partial,     // fewer records than counted (or than the limit) could be read
    Overlong,    // every counted record read, and more bytes after them
    Whole,
};

bool PathExists(const std::u16string& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A rewrite moves the old file to ".bak" before it renames the new one into
// place; a crash between the two leaves the old file there, which is put back.
// A ".bak" beside a file is what a crash after the second rename left.
void RecoverListFile(const std::u16string& path) {
    std::u16string backup = path + u".bak";
    if (!PathExists(backup)) {
        return;
    }
    if (PathExists(path)) {
        DeleteFileW(backup.c_str());
    } else {
        MoveFileW(backup.c_str(), path.c_str());
    }
}

// Reads up to `max` records (0: all) of a list file. *counted gets the file's
// count when the header was read.
ListState ReadListFile(const std::u16string& path, int max, std::vector<DestRecord*>* out,
                       int* counted) {
    RecoverListFile(path);
    *counted = 0;
    // Mapped, a record's fields are copies rather than calls to the system.
    CDataFile file;
    if (file.Open(path.c_str(), kDataFileRead | kDataFileMapped) != 0) {
        return PathExists(path) ? ListState::Unopenable : ListState::Missing;
    }
    uint8_t count[4];
    if (CheckDataFileHeader(file, kDestListMagic, nullptr) != 0 || file.Read(count, 4) != 4) {
        return ListState::Unreadable;
    }
    int total = formats::LoadI32(count);
    if (total < 0) {
        return ListState::Unreadable;
    }
    *counted = total;
    int wanted = (max > 0 && total > max) ? max : total;
    for (int i = 0; i < wanted; ++i) {
        DestRecord* record = new DestRecord;
        if (!record) {
            return ListState::Partial;
        }
        if (record->Read(file) != 0) {
            delete record;
            return ListState::Partial;
        }
        out->push_back(record);
    }
    // Records past a count too small are the user's all the same: such a file is
    // kept aside when it is rewritten, as one that does not read.
    if (wanted == total && file.Tell() < file.Size()) {
        return ListState::Overlong;
    }
    return ListState::Whole;
}

// A name beside the file that nothing uses yet: "<path>.bad", "<path>.bad2", ...
std::u16string AsideName(const std::u16string& path) {
    for (int i = 1; i < 100; ++i) {
        std::u16string name = path + u".bad";
        if (i > 1) {
            for (char c : std::to_string(i)) {
                name.push_back(static_cast<char16_t>(c));
            }
        }
        if (!PathExists(name)) {
            return name;
        }
    }
    return {};
}

bool SamePlace(const DestRecord& a, const DestRecord& b) {
    return a.Equals(b) && a.lat == b.lat && a.lon == b.lon;
}

void AppendFixedPart(const DestRecord& record, std::string* out) {
    uint8_t fixed[kDestRecordFixedSize];
    std::memcpy(fixed, record.shortName, 16);
    formats::StoreU32(fixed + 16, record.linkId);
    formats::StoreU32(fixed + 20, record.linkRef);
    formats::StoreU32(fixed + 24, record.areaCode);
    formats::StoreF32(fixed + 28, record.lat);
    formats::StoreF32(fixed + 32, record.lon);
    out->append(reinterpret_cast<const char*>(fixed), kDestRecordFixedSize);
}

// A length byte holds at most 127; a longer text is stored cut to that, so that
// the records after it still read.
void AppendText(const char* text, std::string* out) {
    size_t length = text ? std::min<size_t>(std::strlen(text), kDestTextMax) : 0;
    out->push_back(static_cast<char>(length));
    out->append(text ? text : "", length);
}

}  // namespace

void SetDestinationRouter(IDestinationRouter* router) {
    g_destinationRouter.store(router);
}

IDestinationRouter* GetDestinationRouter() {
    return g_destinationRouter.load();
}

DestRecord::DestRecord() {
    Clear();
    Init();
}

void* DestRecord::operator new(size_t size) noexcept {
    DWORD outOfMemory = g_outOfMemory.load();
    try {
        return g_heap.Alloc(size);
    } catch (CMemoryException* e) {
        // The caller handles the shortage; the program goes on.
        e->Delete();
        g_outOfMemory.store(outOfMemory);
        return nullptr;
    }
}

void DestRecord::operator delete(void* p) noexcept {
    g_heap.Free(p);
}

void DestRecord::Init() {
    line1 = nullptr;
    line2 = nullptr;
    line3 = nullptr;
    lat = kNoPosition;
}

void DestRecord::Clear() {
    std::memset(shortName, 0, sizeof shortName);
    linkId = 0;
    linkRef = 0;
    areaCode = 0;
    lat = 0;
    lon = 0;
}

void DestRecord::FreeStrings() {
    delete[] line1;
    delete[] line2;
    delete[] line3;
    line1 = nullptr;
    line2 = nullptr;
    line3 = nullptr;
}

BOOL DestRecord::Set(FLOAT latitude, FLOAT longitude, DWORD link, DWORD reference, DWORD area,
                     const char* name, const char* text1, const char* text2, const char* text3) {
    lat = latitude;
    lon = longitude;
    linkId = link;
    linkRef = reference;
    areaCode = area;
    if (name) {
        size_t i = 0;
        for (; i < 15 && name[i]; ++i) {
            shortName[i] = name[i];
        }
        for (; i < 15; ++i) {
            shortName[i] = 0;
        }
        shortName[14] = 0;
    }
    char** lines[3] = {&line1, &line2, &line3};
    const char* texts[3] = {text1, text2, text3};
    for (int i = 0; i < 3; ++i) {
        if (!texts[i]) {
            continue;
        }
        char* copy = CopyText(texts[i]);
        if (!copy) {
            return 0;
        }
        delete[] * lines[i];
        *lines[i] = copy;
    }
    return 1;
}

int DestRecord::Write(CDataFile& file) const {
    std::string bytes;
    AppendFixedPart(*this, &bytes);
    if (file.Write(bytes.data(), kDestRecordFixedSize) != kDestRecordFixedSize) {
        return 3;
    }
    const char* texts[3] = {line1, line2, line3};
    for (int i = 0; i < 3; ++i) {
        bytes.clear();
        AppendText(texts[i], &bytes);
        int size = static_cast<int>(bytes.size());
        if (file.Write(bytes.data(), size) != size) {
            return i + 1;
        }
    }
    return 0;
}

int DestRecord::Read(CDataFile& file) {
    FreeStrings();
    uint8_t fixed[kDestRecordFixedSize];
    if (file.Read(fixed, kDestRecordFixedSize) != kDestRecordFixedSize) {
        return 6;
    }
    std::memcpy(shortName, fixed, 16);
    shortName[14] = 0;
    shortName[15] = 0;
    linkId = formats::LoadU32(fixed + 16);
    linkRef = formats::LoadU32(fixed + 20);
    areaCode = formats::LoadU32(fixed + 24);
    lat = formats::LoadF32(fixed + 28);
    lon = formats::LoadF32(fixed + 32);
    char** lines[3] = {&line1, &line2, &line3};
    for (int i = 0; i < 3; ++i) {
        uint8_t length = 0;
        if (file.Read(&length, 1) != 1) {
            return 3 + i;
        }
        if (length == 0) {
            continue;
        }
        // Lengths of 128 and more come from writers that stored a long text with
        // its full length: its bytes are there, so they are read, and the records
        // after it stay in step.
        char* text = new (std::nothrow) char[length + 1u];
        if (!text) {
            return 7;
        }
        if (file.Read(text, length) != length) {
            delete[] text;
            return 7;
        }
        text[length] = 0;
        *lines[i] = text;
    }
    return 0;
}

bool DestRecord::Equals(const DestRecord& other) const {
    if (TextsEqual(WithoutMarker(line1), WithoutMarker(other.line1)) &&
        TextsEqual(line2, other.line2)) {
        return true;
    }
    return line3 && other.line3 && TextsEqual(line3, other.line3);
}

void DestRecord::GetDisplayText(char* buffer, size_t size) const {
    if (!buffer || size == 0) {
        return;
    }
    if (line3) {
        std::snprintf(buffer, size, "%s", line3);
    } else if (line1 && line2) {
        std::snprintf(buffer, size, "%s\n%s", WithoutMarker(line1), line2);
    } else if (line1) {
        std::snprintf(buffer, size, "%s", WithoutMarker(line1));
    } else {
        buffer[0] = 0;
    }
}

int DestRecord::RouteTo() {
    IDestinationRouter* router = GetDestinationRouter();
    return router ? router->RouteTo(*this) : 1;
}

void RouteTarget::Clear() {
    link = nullptr;
    segment = 0;
    lat = 0;
    lon = 0;
    std::memset(shortName, 0, sizeof shortName);
    areaCode = 0;
}

int CompareDestRecords(const DestRecord& a, const DestRecord& b) {
    auto key = [](const DestRecord& r) -> const char* {
        if (r.line3) {
            return r.line3;
        }
        const char* line = WithoutMarker(r.line1);
        if (!line) {
            return "";
        }
        // "1200 Oak St" with the house number 1200 sorts as "Oak St".
        size_t name = std::strlen(r.shortName);
        if (name > 0 && std::strncmp(line, r.shortName, name) == 0 && line[name] == ' ') {
            return line + name + 1;
        }
        return line;
    };
    int order = CompareTextNoCase(key(a), key(b));
    if (order == 0 && !a.line3 && !b.line3) {
        order = CompareTextNoCase(a.line2, b.line2);
    }
    return order;
}

int CDestList::Load(int sort, int max) {
    OwnedRecords read;
    int counted = 0;
    ListState state = ReadListFile(path, max, &read.items, &counted);
    records.insert(records.end(), read.items.begin(), read.items.end());
    read.items.clear();
    if (sort && !records.empty()) {
        // The order is not a strict weak one (a titled record equals two untitled
        // ones that differ by city): std::sort may then run past the array, a merge
        // sort never does.
        std::stable_sort(records.begin(), records.end(),
                         [](const DestRecord* a, const DestRecord* b) {
                             return CompareDestRecords(*a, *b) < 0;
                         });
    }
    if (records.empty()) {
        return -1;
    }
    return (state == ListState::Partial || state == ListState::Unopenable) ? 1 : 0;
}

int CDestList::Save() {
    std::vector<const DestRecord*> out(records.begin(), records.end());
    return WriteListFile(path, out) ? 0 : 1;
}

void CDestList::Clear() {
    for (DestRecord* record : records) {
        delete record;
    }
    records.clear();
}

bool CDestList::WriteListFile(const std::u16string& path,
                              const std::vector<const DestRecord*>& records) {
    // What is there now decides what becomes of it: a whole list is replaced, a
    // file that does not read whole is kept under a new name.
    OwnedRecords old;
    int counted = 0;
    ListState state = ReadListFile(path, 0, &old.items, &counted);
    if (state == ListState::Unopenable) {
        return false;
    }
    std::u16string temporary = path + u".tmp";
    DeleteFileW(temporary.c_str());
    CDataFile file;
    if (file.Open(temporary.c_str(), kDataFileWrite) != 0) {
        return false;
    }
    // The whole file in one write: a list is small.
    std::string bytes(kDestListMagic, 4);
    uint8_t count[4];
    formats::StoreI32(count, static_cast<int32_t>(records.size()));
    bytes.append(reinterpret_cast<const char*>(count), 4);
    for (const DestRecord* record : records) {
        AppendFixedPart(*record, &bytes);
        AppendText(record->line1, &bytes);
        AppendText(record->line2, &bytes);
        AppendText(record->line3, &bytes);
    }
    bool written =
        file.Write(bytes.data(), static_cast<int>(bytes.size())) == static_cast<int>(bytes.size());
    file.Close();
    if (!written) {
        DeleteFileW(temporary.c_str());
        return false;
    }
    std::u16string aside;
    if (state != ListState::Missing) {
        aside = state == ListState::Whole ? path + u".bak" : AsideName(path);
        if (aside.empty() || !MoveFileW(path.c_str(), aside.c_str())) {
            DeleteFileW(temporary.c_str());
            return false;
        }
    }
    if (!MoveFileW(temporary.c_str(), path.c_str())) {
        if (!aside.empty()) {
            MoveFileW(aside.c_str(), path.c_str());
        }
        DeleteFileW(temporary.c_str());
        return false;
    }
    if (state == ListState::Whole) {
        DeleteFileW(aside.c_str());
    }
    return true;
}

int CDestList::Add(const DestRecord& record, const std::u16string& path, BOOL atEnd,
                   BOOL replaceDuplicate) {
    OwnedRecords old;
    int counted = 0;
    if (ReadListFile(path, 0, &old.items, &counted) == ListState::Unopenable) {
        return 1;
    }
    const std::vector<DestRecord*>& items = old.items;
    if (!items.empty() && (atEnd ? items.back() : items.front())->Equals(record)) {
        return 1;
    }
    int duplicate = -1;
    if (replaceDuplicate) {
        for (size_t i = 0; i < items.size(); ++i) {
            if (items[i]->Equals(record)) {
                duplicate = static_cast<int>(i);
            }
        }
    }
    std::vector<const DestRecord*> out;
    if (!atEnd) {
        out.push_back(&record);
    }
    for (size_t i = 0; i < items.size(); ++i) {
        if (static_cast<int>(i) != duplicate) {
            out.push_back(items[i]);
        }
    }
    if (atEnd) {
        out.push_back(&record);
    }
    return WriteListFile(path, out) ? 0 : 1;
}

int CDestList::Find(const DestRecord& record, const std::u16string& path) {
    OwnedRecords old;
    int counted = 0;
    ReadListFile(path, 0, &old.items, &counted);
    for (const DestRecord* item : old.items) {
        if (item->Equals(record)) {
            return 2;
        }
    }
    return 0;
}

int CDestList::Truncate(const std::u16string& path, int limit) {
    OwnedRecords kept;
    int counted = 0;
    ListState state = ReadListFile(path, limit > 0 ? limit : 0, &kept.items, &counted);
    if ((state != ListState::Whole && state != ListState::Partial &&
         state != ListState::Overlong) ||
        counted <= limit) {
        return 0;
    }
    if (limit <= 0) {
        kept.items.clear();
    }
    std::vector<const DestRecord*> out(kept.items.begin(), kept.items.end());
    WriteListFile(path, out);
    return 0;
}

int RewriteItinerary(const DestRecord* record, const DestPlace* place, const char* nameText,
                     const char* shortName, const char* line3) {
    WCHAR path[MAX_PATH];
    FormatDataFilePath(kListItinerary, path);
    DestRecord built;
    if (!record) {
        std::string line1(nameText ? nameText : "");
        std::string line2;
        size_t lf = line1.find('\n');
        bool twoLines = lf != std::string::npos;
        if (twoLines) {
            line2 = line1.substr(lf + 1);
            line1.resize(lf);
        }
        DestPlace none{0, 0, 0, kNoPosition, 0};
        const DestPlace& at = place ? *place : none;
        if (!built.Set(at.lat, at.lon, at.linkId, at.linkRef, at.areaCode, shortName,
                       nameText ? line1.c_str() : nullptr, twoLines ? line2.c_str() : nullptr,
                       line3)) {
            return 1;
        }
        record = &built;
    }
    std::vector<const DestRecord*> out{record};
    OwnedRecords old;
    IDestinationRouter* router = GetDestinationRouter();
    if (router && router->IsDetourActive()) {
        // The final destination is the itinerary's last record; it stays behind the
        // new destination unless that is the same place. A file that does not
        // read whole is kept aside by the rewrite.
        int counted = 0;
        ListState state = ReadListFile(path, 0, &old.items, &counted);
        if (state == ListState::Unopenable) {
            return 1;
        }
        if (state == ListState::Whole && !old.items.empty() &&
            !SamePlace(*old.items.back(), *record)) {
            out.push_back(old.items.back());
        }
    }
    return CDestList::WriteListFile(path, out) ? 0 : 1;
}
