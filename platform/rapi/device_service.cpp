#include "platform/rapi/device_service.h"

#include <cstdio>
#include <cstring>

#include "platform/rapi/protocol.h"
#include "platform/rapi/rapi.h"
#include "platform/shell/shell.h"

namespace platform::rapi {
namespace {

void Say(const std::string& text) {
    std::fprintf(stderr, "cradle: %s\n", text.c_str());
}

std::string Narrow(std::u16string_view text) {
    return WideToUtf8(text);
}

bool IsPredefinedKey(uint32_t id) {
    return id >= 0x80000000u && id <= 0x80000002u;
}

DWORD ArchitectureOf(DWORD processorType) {
    switch (processorType) {
        case PROCESSOR_STRONGARM:
        case 2336:
            return PROCESSOR_ARCHITECTURE_ARM;
        case PROCESSOR_MIPS_R4000:
            return PROCESSOR_ARCHITECTURE_MIPS;
        case PROCESSOR_HITACHI_SH3:
            return PROCESSOR_ARCHITECTURE_SHX;
        default:
            return 0xFFFF;
    }
}

}  // namespace

bool IsDevicePath(std::u16string_view path) {
    if (path.empty() || path.size() >= MAX_PATH || path[0] != u'\\')
        return false;
    // "\\.\COM1" and "\\server\share" are not files of the device's store.
    if (path.size() >= 2 && path[1] == u'\\')
        return false;
    if (path.find_first_of(u"/:") != std::u16string_view::npos)
        return false;
    size_t start = 1;
    while (start <= path.size()) {
        size_t end = path.find(u'\\', start);
        if (end == std::u16string_view::npos)
            end = path.size();
        const std::u16string_view part = path.substr(start, end - start);
        if (part == u"." || part == u".." || IsInternalName(Narrow(part)))
            return false;
        start = end + 1;
    }
    return true;
}

bool IsLibraryName(std::u16string_view name) {
    if (name.empty() || name.size() > kMaxNameChars || name == u"." || name == u"..")
        return false;
    for (char16_t c : name) {
        const bool plain = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                           (c >= u'0' && c <= u'9') || c == u'_' || c == u'-' || c == u'.';
        if (!plain)
            return false;
    }
    return name.find(u"..") == std::u16string_view::npos;
}

DeviceSession::DeviceSession(ServiceOptions options) : options_(std::move(options)) {}

DeviceSession::~DeviceSession() {
    for (auto& [id, entry] : entries_) {
        switch (entry.kind) {
            case Entry::Kind::File:
                CloseHandle(entry.handle);
                break;
            case Entry::Kind::Find:
                FindClose(entry.handle);
                break;
            case Entry::Kind::Key:
                RegCloseKey(entry.key);
                break;
        }
    }
    for (auto& [name, module] : libraries_)
        FreeLibrary(module);
}

uint32_t DeviceSession::Add(Entry entry) {
    const uint32_t id = next_++;
    entries_.emplace(id, entry);
    return id;
}

DeviceSession::Entry* DeviceSession::Lookup(uint32_t id, Entry::Kind kind) {
    auto it = entries_.find(id);
    if (it == entries_.end() || it->second.kind != kind) {
        Say("handle " + std::to_string(id) + " is not one this desktop opened");
        return nullptr;
    }
    return &it->second;
}

bool DeviceSession::KeyOf(uint32_t id, HKEY* key) {
    if (IsPredefinedKey(id)) {
        *key = reinterpret_cast<HKEY>(static_cast<uintptr_t>(id));
        return true;
    }
    Entry* entry = Lookup(id, Entry::Kind::Key);
    if (!entry)
        return false;
    *key = entry->key;
    return true;
}

bool DeviceSession::OpenedToRemoteApi(const std::u16string& fileName) {
    const std::u16string keyPath = u"Security\\Metabase\\RAPI\\Windows\\" + fileName + u"\\*";
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    DWORD type = 0, value = 0, size = sizeof value;
    const LONG result =
        RegQueryValueExW(key, u"rw-access", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS && type == REG_DWORD && size == sizeof value && value == 3;
}

HRESULT DeviceSession::Invoke(const std::u16string& library, const std::u16string& function,
                              std::vector<uint8_t>& input, std::vector<uint8_t>* output) {
    std::u16string fileName = library;
    if (fileName.find(u'.') == std::u16string::npos)
        fileName += u".dll";
    if (options_.restricted && !OpenedToRemoteApi(fileName)) {
        Say("the device does not open " + Narrow(fileName) + " to the remote API");
        return E_ACCESSDENIED;
    }
    std::u16string folded = fileName;
    for (char16_t& c : folded)
        c = towupper(c);
    HMODULE module = nullptr;
    if (auto it = libraries_.find(folded); it != libraries_.end()) {
        module = it->second;
    } else {
        module = LoadLibraryW((u"\\Windows\\" + fileName).c_str());
        if (!module)
            return HRESULT_FROM_WIN32(GetLastError());
        libraries_.emplace(folded, module);
    }
    auto entry = reinterpret_cast<RAPIEXT>(GetProcAddress(module, Narrow(function).c_str()));
    if (!entry)
        return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    DWORD outputSize = 0;
    BYTE* block = nullptr;
    const HRESULT result =
        entry(static_cast<DWORD>(input.size()), input.empty() ? nullptr : input.data(), &outputSize,
              &block, nullptr);
    if (block) {
        // The block's own size bounds what is read, whatever size was claimed.
        const size_t size = std::min<size_t>(outputSize, LocalSize(block));
        if (size > kMaxData) {
            Say(Narrow(function) + " replied more than a frame holds");
            LocalFree(block);
            return E_FAIL;
        }
        output->assign(block, block + size);
        LocalFree(block);
    }
    return result;
}

DeviceSession::Next DeviceSession::Handle(const std::vector<uint8_t>& body,
                                          std::vector<uint8_t>* reply) {
    Reader reader(body);
    uint16_t rawOp = 0, flags = 0;
    if (!reader.U16(&rawOp) || !reader.U16(&flags)) {
        Say("a frame too short for a request");
        return Next::Close;
    }
    Writer values;
    uint32_t result = 0;
    DWORD error = ERROR_SUCCESS;
    auto answer = [&](Next next) {
        *reply = EncodeReply(rawOp, result, error, values);
        return next;
    };
    auto refuse = [&](const std::string& why, DWORD code) {
        Say(why);
        values = Writer();
        result = 0;
        error = code;
        return answer(Next::Reply);
    };
    // Calls report their own failure through the last error.
    auto failed = [&](bool ok) {
        error = ok ? ERROR_SUCCESS : GetLastError();
        return ok;
    };

    const Op op = static_cast<Op>(rawOp);
    if (!greeted_) {
        uint32_t version = 0;
        std::u16string token;
        if (op != Op::Hello || !reader.U32(&version) || !reader.Text(&token, kTokenChars) ||
            !reader.Done()) {
            Say("the first frame is not a greeting");
            return Next::Close;
        }
        const std::string given = Narrow(token);
        // Every character is compared, so the time taken tells nothing of the token.
        unsigned differs = given.size() != options_.token.size();
        for (size_t i = 0; i < options_.token.size(); ++i)
            differs |= static_cast<unsigned>(i < given.size() ? given[i] : 0) ^
                       static_cast<unsigned char>(options_.token[i]);
        if (differs) {
            Say("a desktop gave the wrong token");
            result = static_cast<uint32_t>(E_ACCESSDENIED);
            return answer(Next::ReplyThenClose);
        }
        if (version != kProtocolVersion) {
            Say("a desktop speaks protocol version " + std::to_string(version));
            result = static_cast<uint32_t>(E_FAIL);
            return answer(Next::ReplyThenClose);
        }
        greeted_ = true;
        result = static_cast<uint32_t>(S_OK);
        return answer(Next::Reply);
    }

    std::u16string path, other;
    uint32_t id = 0, a = 0, b = 0, c = 0, d = 0;
    std::vector<uint8_t> data;
    auto bad = [&]() {
        Say("a request of operation " + std::to_string(rawOp) + " that does not read");
        return Next::Close;
    };
    auto badPath = [&](const std::u16string& named) {
        return refuse("refused the path \"" + Narrow(named) + "\"", ERROR_ACCESS_DENIED);
    };

    switch (op) {
        case Op::Invoke: {
            std::u16string library, function;
            if (!reader.Text(&library, kMaxPathChars) || !reader.Text(&function, kMaxNameChars) ||
                !reader.Bytes(&data, kMaxData) || !reader.Done())
                return bad();
            if (!IsLibraryName(library))
                return refuse("refused the library \"" + Narrow(library) + "\"",
                              ERROR_ACCESS_DENIED);
            std::vector<uint8_t> output;
            result = static_cast<uint32_t>(Invoke(library, function, data, &output));
            values.Bytes(output.data(), output.size());
            return answer(Next::Reply);
        }
        case Op::GetFileAttributes:
        case Op::CreateDirectory:
        case Op::DeleteFile: {
            if (!reader.Text(&path, kMaxPathChars) || !reader.Done())
                return bad();
            if (!IsDevicePath(path)) {
                Next next = badPath(path);
                if (op == Op::GetFileAttributes)
                    *reply =
                        EncodeReply(rawOp, INVALID_FILE_ATTRIBUTES, ERROR_ACCESS_DENIED, Writer());
                return next;
            }
            if (op == Op::GetFileAttributes) {
                result = GetFileAttributesW(path.c_str());
                failed(result != INVALID_FILE_ATTRIBUTES);
            } else if (op == Op::CreateDirectory) {
                result = failed(CreateDirectoryW(path.c_str(), nullptr));
            } else {
                result = failed(DeleteFileW(path.c_str()));
            }
            return answer(Next::Reply);
        }
        case Op::CopyFile:
        case Op::MoveFile: {
            if (!reader.Text(&path, kMaxPathChars) || !reader.Text(&other, kMaxPathChars) ||
                (op == Op::CopyFile && !reader.U32(&a)) || !reader.Done())
                return bad();
            if (!IsDevicePath(path))
                return badPath(path);
            if (!IsDevicePath(other))
                return badPath(other);
            result = failed(op == Op::CopyFile ? CopyFileW(path.c_str(), other.c_str(), a != 0)
                                               : MoveFileW(path.c_str(), other.c_str()));
            return answer(Next::Reply);
        }
        case Op::CreateFile: {
            if (!reader.Text(&path, kMaxPathChars) || !reader.U32(&a) || !reader.U32(&b) ||
                !reader.U32(&c) || !reader.U32(&d) || !reader.Done())
                return bad();
            if (!IsDevicePath(path))
                return badPath(path);
            HANDLE file = CreateFileW(path.c_str(), a, b, nullptr, c, d, nullptr);
            if (failed(file != INVALID_HANDLE_VALUE))
                result = Add({Entry::Kind::File, file, nullptr});
            return answer(Next::Reply);
        }
        case Op::ReadFile: {
            if (!reader.U32(&id) || !reader.U32(&a) || !reader.Done())
                return bad();
            Entry* entry = Lookup(id, Entry::Kind::File);
            if (!entry)
                return refuse("refused a read", ERROR_INVALID_HANDLE);
            std::vector<uint8_t> bytes(std::min(a, kMaxData));
            DWORD read = 0;
            result = failed(ReadFile(entry->handle, bytes.data(), static_cast<DWORD>(bytes.size()),
                                     &read, nullptr));
            values.Bytes(bytes.data(), result ? read : 0);
            return answer(Next::Reply);
        }
        case Op::WriteFile: {
            if (!reader.U32(&id) || !reader.Bytes(&data, kMaxData) || !reader.Done())
                return bad();
            Entry* entry = Lookup(id, Entry::Kind::File);
            if (!entry)
                return refuse("refused a write", ERROR_INVALID_HANDLE);
            if (options_.beforeWrite && !options_.beforeWrite())
                return Next::Close;
            DWORD written = 0;
            result = failed(WriteFile(entry->handle, data.data(), static_cast<DWORD>(data.size()),
                                      &written, nullptr));
            values.U32(written);
            return answer(Next::Reply);
        }
        case Op::GetFileSize: {
            if (!reader.U32(&id) || !reader.Done())
                return bad();
            Entry* entry = Lookup(id, Entry::Kind::File);
            if (!entry) {
                refuse("refused a size", ERROR_INVALID_HANDLE);
                *reply =
                    EncodeReply(rawOp, INVALID_FILE_SIZE, ERROR_INVALID_HANDLE, Writer().U32(0));
                return Next::Reply;
            }
            DWORD high = 0;
            SetLastError(ERROR_SUCCESS);
            result = GetFileSize(entry->handle, &high);
            error = GetLastError();
            values.U32(high);
            return answer(Next::Reply);
        }
        case Op::CloseHandle:
        case Op::FindClose: {
            if (!reader.U32(&id) || !reader.Done())
                return bad();
            const auto kind = op == Op::CloseHandle ? Entry::Kind::File : Entry::Kind::Find;
            Entry* entry = Lookup(id, kind);
            if (!entry)
                return refuse("refused a close", ERROR_INVALID_HANDLE);
            result = failed(kind == Entry::Kind::File ? CloseHandle(entry->handle)
                                                      : FindClose(entry->handle));
            entries_.erase(id);
            return answer(Next::Reply);
        }
        case Op::FindFirstFile: {
            if (!reader.Text(&path, kMaxPathChars) || !reader.Done())
                return bad();
            if (!IsDevicePath(path))
                return badPath(path);
            WIN32_FIND_DATAW found{};
            HANDLE search = FindFirstFileW(path.c_str(), &found);
            if (failed(search != INVALID_HANDLE_VALUE)) {
                result = Add({Entry::Kind::Find, search, nullptr});
                PutFindData(values, found);
            }
            return answer(Next::Reply);
        }
        case Op::FindNextFile: {
            if (!reader.U32(&id) || !reader.Done())
                return bad();
            Entry* entry = Lookup(id, Entry::Kind::Find);
            if (!entry)
                return refuse("refused a search", ERROR_INVALID_HANDLE);
            WIN32_FIND_DATAW found{};
            result = failed(FindNextFileW(entry->handle, &found));
            if (result)
                PutFindData(values, found);
            return answer(Next::Reply);
        }
        case Op::RegOpenKey:
        case Op::RegCreateKey: {
            HKEY parent = nullptr;
            if (!reader.U32(&id) || !reader.Text(&path, kMaxPathChars) ||
                (op == Op::RegCreateKey && !reader.Text(&other, kMaxPathChars)) ||
                !reader.U32(&a) || !reader.U32(&b) || !reader.Done())
                return bad();
            if (!KeyOf(id, &parent)) {
                result = ERROR_INVALID_HANDLE;
                values.U32(0).U32(0);
                return answer(Next::Reply);
            }
            HKEY key = nullptr;
            DWORD disposition = 0;
            LONG status = op == Op::RegOpenKey
                              ? RegOpenKeyExW(parent, path.c_str(), a, b, &key)
                              : RegCreateKeyExW(parent, path.c_str(), 0, other.c_str(), a, b,
                                                nullptr, &key, &disposition);
            result = static_cast<uint32_t>(status);
            values.U32(status == ERROR_SUCCESS ? Add({Entry::Kind::Key, nullptr, key}) : 0)
                .U32(disposition);
            return answer(Next::Reply);
        }
        case Op::RegCloseKey: {
            if (!reader.U32(&id) || !reader.Done())
                return bad();
            Entry* entry = Lookup(id, Entry::Kind::Key);
            result = entry ? static_cast<uint32_t>(RegCloseKey(entry->key)) : ERROR_INVALID_HANDLE;
            if (entry)
                entries_.erase(id);
            return answer(Next::Reply);
        }
        case Op::RegSetValue: {
            HKEY key = nullptr;
            if (!reader.U32(&id) || !reader.Text(&path, kMaxPathChars) || !reader.U32(&a) ||
                !reader.Bytes(&data, kMaxData) || !reader.Done())
                return bad();
            result =
                KeyOf(id, &key)
                    ? static_cast<uint32_t>(RegSetValueExW(key, path.c_str(), 0, a, data.data(),
                                                           static_cast<DWORD>(data.size())))
                    : ERROR_INVALID_HANDLE;
            return answer(Next::Reply);
        }
        case Op::RegQueryValue: {
            HKEY key = nullptr;
            if (!reader.U32(&id) || !reader.Text(&path, kMaxPathChars) || !reader.U32(&a) ||
                !reader.Done())
                return bad();
            if (!KeyOf(id, &key)) {
                result = ERROR_INVALID_HANDLE;
                values.U32(0).U32(0).Bytes(nullptr, 0);
                return answer(Next::Reply);
            }
            // a: the caller's buffer size, or 0xFFFFFFFF when it asks for the size only.
            const bool wantsData = a != 0xFFFFFFFFu;
            std::vector<uint8_t> bytes(wantsData ? std::min(a, kMaxData) : 0);
            DWORD type = 0, size = static_cast<DWORD>(bytes.size());
            LONG status = RegQueryValueExW(key, path.c_str(), nullptr, &type,
                                           wantsData ? bytes.data() : nullptr, &size);
            result = static_cast<uint32_t>(status);
            values.U32(type).U32(size).Bytes(bytes.data(),
                                             status == ERROR_SUCCESS && wantsData ? size : 0);
            return answer(Next::Reply);
        }
        case Op::GetSystemInfo: {
            if (!reader.Done())
                return bad();
            SYSTEM_INFO info{};
            GetSystemInfo(&info);
            values.U32(options_.processorType)
                .U16(static_cast<uint16_t>(ArchitectureOf(options_.processorType)))
                .U32(info.dwPageSize)
                .U32(info.dwNumberOfProcessors)
                .U16(info.wProcessorLevel)
                .U16(info.wProcessorRevision);
            return answer(Next::Reply);
        }
        case Op::GlobalMemoryStatus: {
            if (!reader.Done())
                return bad();
            MEMORYSTATUS status{};
            status.dwLength = sizeof status;
            GlobalMemoryStatus(&status);
            values.U32(status.dwMemoryLoad)
                .U64(status.dwTotalPhys)
                .U64(status.dwAvailPhys)
                .U64(status.dwTotalPageFile)
                .U64(status.dwAvailPageFile)
                .U64(status.dwTotalVirtual)
                .U64(status.dwAvailVirtual);
            return answer(Next::Reply);
        }
        case Op::GetVersion: {
            if (!reader.Done())
                return bad();
            result = TRUE;
            values.U32(options_.osMajor)
                .U32(options_.osMinor)
                .U32(1)
                .U32(VER_PLATFORM_WIN32_CE)
                .Text(u"");
            return answer(Next::Reply);
        }
        case Op::CreateShortcut: {
            if (!reader.Text(&path, kMaxPathChars) || !reader.Text(&other, kMaxPathChars) ||
                !reader.Done())
                return bad();
            if (!IsDevicePath(path))
                return badPath(path);
            result = failed(SHCreateShortcut(path.data(), other.data()));
            return answer(Next::Reply);
        }
        case Op::Hello:
            return refuse("a second greeting", ERROR_INVALID_PARAMETER);
        default:
            return refuse("an unknown operation " + std::to_string(rawOp),
                          ERROR_CALL_NOT_IMPLEMENTED);
    }
}

}  // namespace platform::rapi
