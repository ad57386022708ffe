// "rapi.dll": the desktop's remote API library. Each entry point is one request to
// the cradle named by the dock file, over one connection, one request in flight.
//
// CeRapiInitEx connects, greets the cradle with the dock's token and signals the
// caller's event once the cradle answered. A link that is lost (a reply that does not
// come within 10 s or does not read, a cradle that went away) fails the call in
// flight; the next call reads the dock file again and reconnects once (at most 2 s)
// before it fails, so a restarted cradle serves it, and handles of the lost
// connection fail at once from then on.
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <thread>

#include "platform/kernel/kernel.h"
#include "platform/rapi/protocol.h"
#include "platform/rapi/rapi.h"

namespace {

using namespace platform::rapi;

struct Reply {
    uint32_t result = 0;
    uint32_t error = 0;
    std::vector<uint8_t> values;
};

class Link {
  public:
    ~Link() { Uninit(); }
    HRESULT Init(RAPIINIT* init);
    void Uninit();
    // One request and its reply; false (with the last error set) when the link is not
    // up or was lost.
    bool Call(Op op, const Writer& values, Reply* reply);
    // A reply that does not read: the connection can no longer be trusted.
    void Lose();

    // Handles of the current connection travel as (generation << 32) | id.
    HANDLE HandleOf(uint32_t id) const {
        return reinterpret_cast<HANDLE>((uint64_t{generation_} << 32) | id);
    }
    // The cradle's id of a handle of the current connection, or 0 (with the last
    // error set) for any other.
    uint32_t IdOf(HANDLE handle) const {
        const uint64_t value = reinterpret_cast<uintptr_t>(handle);
        const uint32_t id = static_cast<uint32_t>(value);
        if (handle == INVALID_HANDLE_VALUE || id == 0 || (value >> 32) != generation_) {
            SetLastError(ERROR_INVALID_HANDLE);
            return 0;
        }
        return id;
    }

  private:
    enum class State { Down, Greeting, Up, Lost };

    void CloseLocked();
    bool ReconnectLocked();
    // Sends a greeting on a new connection.
    bool Greet(int fd, const std::string& token);

    std::mutex callLock_;  // one request in flight
    std::mutex stateLock_;
    State state_ = State::Down;
    int fd_ = -1;
    std::atomic<uint32_t> generation_{0};
    std::thread greeter_;
    HANDLE event_ = nullptr;
};

Link& TheLink() {
    // Destroyed when the library is freed: the connection goes with it.
    static Link link;
    return link;
}

bool Link::Greet(int fd, const std::string& token) {
    Writer hello;
    hello.U32(kProtocolVersion).Text(platform::Utf8ToWide(token));
    return SendAll(fd, EncodeRequest(Op::Hello, hello), kReconnectMs);
}

// The cradle's answer to a greeting: its result, or E_FAIL when none came or it did
// not read.
HRESULT ReadGreetingReply(int fd, int timeoutMs) {
    std::vector<uint8_t> body;
    if (ReceiveFrame(fd, timeoutMs, kReplyHead, &body) != Received::Frame)
        return E_FAIL;
    Reader reader(body);
    uint16_t op = 0, flags = 0;
    uint32_t result = 0, error = 0;
    if (!reader.U16(&op) || !reader.U16(&flags) || !reader.U32(&result) || !reader.U32(&error) ||
        !reader.Done() || op != (static_cast<uint16_t>(Op::Hello) | kReplyBit))
        return E_FAIL;
    return static_cast<HRESULT>(result);
}

HRESULT Link::Init(RAPIINIT* init) {
    if (!init || init->cbSize != sizeof(RAPIINIT))
        return E_INVALIDARG;
    Uninit();
    std::lock_guard<std::mutex> call(callLock_);
    const std::optional<DockAddress> dock = ReadDockFile(DockFileForDesktop());
    if (!dock)
        return HRESULT_FROM_WIN32(ERROR_NOT_CONNECTED);
    const int fd = ConnectLoopback(dock->port, kReconnectMs);
    if (fd < 0)
        return HRESULT_FROM_WIN32(ERROR_NOT_CONNECTED);
    if (!Greet(fd, dock->token)) {
        close(fd);
        return HRESULT_FROM_WIN32(ERROR_NOT_CONNECTED);
    }
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!event) {
        close(fd);
        return E_OUTOFMEMORY;
    }
    init->heRapiInit = event;
    init->hrRapiInit = E_FAIL;
    std::lock_guard<std::mutex> guard(stateLock_);
    fd_ = fd;
    event_ = event;
    state_ = State::Greeting;
    // The caller waits on the event; the answer is read here meanwhile. Uninit ends
    // this thread (shutting the socket down) before the record can go.
    greeter_ = std::thread([this, fd, init, event] {
        const HRESULT result = ReadGreetingReply(fd, 0x7FFFFFFF);
        {
            std::lock_guard<std::mutex> guard(stateLock_);
            if (state_ != State::Greeting)
                return;
            if (SUCCEEDED(result)) {
                ++generation_;
                state_ = State::Up;
            } else {
                state_ = State::Down;
            }
        }
        init->hrRapiInit = result;
        SetEvent(event);
    });
    return S_OK;
}

void Link::Uninit() {
    std::lock_guard<std::mutex> call(callLock_);
    std::thread greeter;
    {
        std::lock_guard<std::mutex> guard(stateLock_);
        if (fd_ >= 0)
            shutdown(fd_, SHUT_RDWR);
        state_ = State::Down;
        greeter.swap(greeter_);
    }
    if (greeter.joinable())
        greeter.join();
    std::lock_guard<std::mutex> guard(stateLock_);
    CloseLocked();
    ++generation_;  // nothing of the old connection is used again
    if (event_) {
        CloseHandle(event_);
        event_ = nullptr;
    }
}

void Link::CloseLocked() {
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
}

bool Link::ReconnectLocked() {
    CloseLocked();
    const std::optional<DockAddress> dock = ReadDockFile(DockFileForDesktop());
    if (!dock)
        return false;
    const int fd = ConnectLoopback(dock->port, kReconnectMs);
    if (fd < 0)
        return false;
    if (!Greet(fd, dock->token) || FAILED(ReadGreetingReply(fd, kReconnectMs))) {
        close(fd);
        return false;
    }
    fd_ = fd;
    ++generation_;
    state_ = State::Up;
    return true;
}

bool Link::Call(Op op, const Writer& values, Reply* reply) {
    std::lock_guard<std::mutex> call(callLock_);
    std::lock_guard<std::mutex> guard(stateLock_);
    if (state_ == State::Up && PeerGone(fd_)) {
        // The cradle went away between calls: nothing of this request was sent yet.
        CloseLocked();
        state_ = State::Lost;
    }
    if (state_ == State::Lost && !ReconnectLocked()) {
        SetLastError(ERROR_NOT_CONNECTED);
        return false;
    }
    if (state_ != State::Up) {
        SetLastError(ERROR_NOT_CONNECTED);
        return false;
    }
    std::vector<uint8_t> body;
    bool ok = SendAll(fd_, EncodeRequest(op, values), kReplyWaitMs) &&
              ReceiveFrame(fd_, kReplyWaitMs, kReplyHead, &body) == Received::Frame;
    uint16_t replyOp = 0, flags = 0;
    if (ok) {
        Reader reader(body.data(), kReplyHead);
        ok = reader.U16(&replyOp) && reader.U16(&flags) && reader.U32(&reply->result) &&
             reader.U32(&reply->error) && replyOp == (static_cast<uint16_t>(op) | kReplyBit);
    }
    if (!ok) {
        // Whatever the cradle did with the request, its reply is lost with the link.
        CloseLocked();
        state_ = State::Lost;
        ++generation_;
        SetLastError(ERROR_NOT_CONNECTED);
        return false;
    }
    reply->values.assign(body.begin() + kReplyHead, body.end());
    return true;
}

void Link::Lose() {
    std::lock_guard<std::mutex> guard(stateLock_);
    if (state_ != State::Up)
        return;
    CloseLocked();
    state_ = State::Lost;
    ++generation_;
}

// A reply's values that do not read are a lost link too.
bool Malformed() {
    TheLink().Lose();
    SetLastError(ERROR_INVALID_DATA);
    return false;
}

bool CallFor(Op op, const Writer& values, Reply* reply) {
    return TheLink().Call(op, values, reply);
}

uint32_t KeyId(HKEY key) {
    const uint64_t value = reinterpret_cast<uintptr_t>(key);
    if (value >= 0x80000000u && value <= 0x80000002u)
        return static_cast<uint32_t>(value);
    return TheLink().IdOf(reinterpret_cast<HANDLE>(key));
}

std::u16string Text(LPCWSTR text) {
    return text ? std::u16string(text) : std::u16string();
}

// Calls whose reply is a BOOL and the last error.
BOOL BoolCall(Op op, const Writer& values) {
    Reply reply;
    if (!CallFor(op, values, &reply))
        return FALSE;
    if (!reply.result)
        SetLastError(reply.error);
    return reply.result ? TRUE : FALSE;
}

}  // namespace

PLATFORM_EXPORT HRESULT CeRapiInitEx(RAPIINIT* init) {
    return TheLink().Init(init);
}

PLATFORM_EXPORT HRESULT CeRapiUninit() {
    TheLink().Uninit();
    return S_OK;
}

PLATFORM_EXPORT HRESULT CeRapiInvoke(LPCWSTR dllPath, LPCWSTR functionName, DWORD cbInput,
                                     BYTE* pInput, DWORD* pcbOutput, BYTE** ppOutput,
                                     IRAPIStream** ppIRAPIStream, DWORD) {
    if (pcbOutput)
        *pcbOutput = 0;
    if (ppOutput)
        *ppOutput = nullptr;
    // Block mode only: the device's service passes no stream.
    if (ppIRAPIStream || !dllPath || !functionName || cbInput > kMaxData || (cbInput && !pInput))
        return E_INVALIDARG;
    Writer values;
    values.Text(dllPath).Text(functionName).Bytes(pInput, cbInput);
    Reply reply;
    if (!CallFor(Op::Invoke, values, &reply))
        return HRESULT_FROM_WIN32(GetLastError());
    Reader reader(reply.values);
    std::vector<uint8_t> output;
    if (!reader.Bytes(&output, kMaxData) || !reader.Done())
        return Malformed(), HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
    if (!output.empty() && pcbOutput && ppOutput) {
        auto* block = static_cast<BYTE*>(LocalAlloc(LPTR, output.size()));
        if (!block)
            return E_OUTOFMEMORY;
        std::memcpy(block, output.data(), output.size());
        *ppOutput = block;
        *pcbOutput = static_cast<DWORD>(output.size());
    }
    return static_cast<HRESULT>(reply.result);
}

PLATFORM_EXPORT DWORD CeGetFileAttributes(LPCWSTR fileName) {
    Reply reply;
    if (!CallFor(Op::GetFileAttributes, Writer().Text(Text(fileName)), &reply))
        return INVALID_FILE_ATTRIBUTES;
    if (reply.result == INVALID_FILE_ATTRIBUTES)
        SetLastError(reply.error);
    return reply.result;
}

PLATFORM_EXPORT BOOL CeCreateDirectory(LPCWSTR pathName, LPSECURITY_ATTRIBUTES) {
    return BoolCall(Op::CreateDirectory, Writer().Text(Text(pathName)));
}

PLATFORM_EXPORT BOOL CeCopyFile(LPCWSTR existingFileName, LPCWSTR newFileName, BOOL failIfExists) {
    return BoolCall(
        Op::CopyFile,
        Writer().Text(Text(existingFileName)).Text(Text(newFileName)).U32(failIfExists ? 1 : 0));
}

PLATFORM_EXPORT BOOL CeDeleteFile(LPCWSTR fileName) {
    return BoolCall(Op::DeleteFile, Writer().Text(Text(fileName)));
}

PLATFORM_EXPORT BOOL CeMoveFile(LPCWSTR existingFileName, LPCWSTR newFileName) {
    return BoolCall(Op::MoveFile, Writer().Text(Text(existingFileName)).Text(Text(newFileName)));
}

PLATFORM_EXPORT DWORD CeGetFileSize(HANDLE file, LPDWORD fileSizeHigh) {
    const uint32_t id = TheLink().IdOf(file);
    Reply reply;
    if (!id || !CallFor(Op::GetFileSize, Writer().U32(id), &reply))
        return INVALID_FILE_SIZE;
    Reader reader(reply.values);
    uint32_t high = 0;
    if (!reader.U32(&high) || !reader.Done()) {
        Malformed();
        return INVALID_FILE_SIZE;
    }
    if (fileSizeHigh)
        *fileSizeHigh = high;
    SetLastError(reply.error);
    return reply.result;
}

PLATFORM_EXPORT HANDLE CeCreateFile(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode,
                                    LPSECURITY_ATTRIBUTES, DWORD creationDisposition,
                                    DWORD flagsAndAttributes, HANDLE) {
    Reply reply;
    if (!CallFor(Op::CreateFile,
                 Writer()
                     .Text(Text(fileName))
                     .U32(desiredAccess)
                     .U32(shareMode)
                     .U32(creationDisposition)
                     .U32(flagsAndAttributes),
                 &reply))
        return INVALID_HANDLE_VALUE;
    if (!reply.result) {
        SetLastError(reply.error);
        return INVALID_HANDLE_VALUE;
    }
    return TheLink().HandleOf(reply.result);
}

PLATFORM_EXPORT BOOL CeReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
                                LPOVERLAPPED) {
    if (bytesRead)
        *bytesRead = 0;
    if (bytesToRead && !buffer) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD done = 0;
    // In pieces of a frame each; a piece that comes back short is the file's end.
    do {
        const uint32_t id = TheLink().IdOf(file);
        const DWORD piece = std::min<DWORD>(bytesToRead - done, kMaxData);
        Reply reply;
        if (!id || !CallFor(Op::ReadFile, Writer().U32(id).U32(piece), &reply))
            return FALSE;
        Reader reader(reply.values);
        std::vector<uint8_t> bytes;
        if (!reader.Bytes(&bytes, piece) || !reader.Done())
            return Malformed();
        if (!reply.result) {
            SetLastError(reply.error);
            return FALSE;
        }
        if (!bytes.empty())
            std::memcpy(static_cast<uint8_t*>(buffer) + done, bytes.data(), bytes.size());
        done += static_cast<DWORD>(bytes.size());
        if (bytesRead)
            *bytesRead = done;
        if (bytes.size() < piece)
            break;
    } while (done < bytesToRead);
    return TRUE;
}

PLATFORM_EXPORT BOOL CeWriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite,
                                 LPDWORD bytesWritten, LPOVERLAPPED) {
    if (bytesWritten)
        *bytesWritten = 0;
    if (bytesToWrite && !buffer) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD done = 0;
    do {
        const uint32_t id = TheLink().IdOf(file);
        const DWORD piece = std::min<DWORD>(bytesToWrite - done, kMaxData);
        Reply reply;
        if (!id ||
            !CallFor(Op::WriteFile,
                     Writer().U32(id).Bytes(static_cast<const uint8_t*>(buffer) + done, piece),
                     &reply))
            return FALSE;
        Reader reader(reply.values);
        uint32_t written = 0;
        if (!reader.U32(&written) || !reader.Done() || written > piece)
            return Malformed();
        done += written;
        if (bytesWritten)
            *bytesWritten = done;
        if (!reply.result) {
            SetLastError(reply.error);
            return FALSE;
        }
        if (written < piece)
            break;
    } while (done < bytesToWrite);
    return TRUE;
}

PLATFORM_EXPORT BOOL CeCloseHandle(HANDLE object) {
    const uint32_t id = TheLink().IdOf(object);
    return id ? BoolCall(Op::CloseHandle, Writer().U32(id)) : FALSE;
}

PLATFORM_EXPORT HANDLE CeFindFirstFile(LPCWSTR fileName, LPCE_FIND_DATA findData) {
    Reply reply;
    if (!CallFor(Op::FindFirstFile, Writer().Text(Text(fileName)), &reply))
        return INVALID_HANDLE_VALUE;
    if (!reply.result) {
        SetLastError(reply.error);
        return INVALID_HANDLE_VALUE;
    }
    Reader reader(reply.values);
    CE_FIND_DATA found{};
    if (!GetFindData(reader, &found) || !reader.Done()) {
        Malformed();
        return INVALID_HANDLE_VALUE;
    }
    if (findData)
        *findData = found;
    return TheLink().HandleOf(reply.result);
}

PLATFORM_EXPORT BOOL CeFindNextFile(HANDLE findFile, LPCE_FIND_DATA findData) {
    const uint32_t id = TheLink().IdOf(findFile);
    Reply reply;
    if (!id || !CallFor(Op::FindNextFile, Writer().U32(id), &reply))
        return FALSE;
    if (!reply.result) {
        SetLastError(reply.error);
        return FALSE;
    }
    Reader reader(reply.values);
    CE_FIND_DATA found{};
    if (!GetFindData(reader, &found) || !reader.Done())
        return Malformed();
    if (findData)
        *findData = found;
    return TRUE;
}

PLATFORM_EXPORT BOOL CeFindClose(HANDLE findFile) {
    const uint32_t id = TheLink().IdOf(findFile);
    return id ? BoolCall(Op::FindClose, Writer().U32(id)) : FALSE;
}

namespace {

LONG OpenOrCreateKey(Op op, HKEY key, LPCWSTR subKey, LPCWSTR keyClass, DWORD options, REGSAM sam,
                     PHKEY result, LPDWORD disposition) {
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    const uint32_t id = KeyId(key);
    if (!id)
        return ERROR_INVALID_HANDLE;
    Writer values;
    values.U32(id).Text(Text(subKey));
    if (op == Op::RegCreateKey)
        values.Text(Text(keyClass));
    values.U32(options).U32(sam);
    Reply reply;
    if (!CallFor(op, values, &reply))
        return static_cast<LONG>(GetLastError());
    Reader reader(reply.values);
    uint32_t opened = 0, how = 0;
    if (!reader.U32(&opened) || !reader.U32(&how) || !reader.Done())
        return Malformed(), ERROR_INVALID_DATA;
    if (reply.result == ERROR_SUCCESS)
        *result = reinterpret_cast<HKEY>(TheLink().HandleOf(opened));
    if (disposition)
        *disposition = how;
    return static_cast<LONG>(reply.result);
}

}  // namespace

PLATFORM_EXPORT LONG CeRegOpenKeyEx(HKEY key, LPCWSTR subKey, DWORD options, REGSAM sam,
                                    PHKEY result) {
    return OpenOrCreateKey(Op::RegOpenKey, key, subKey, nullptr, options, sam, result, nullptr);
}

PLATFORM_EXPORT LONG CeRegCreateKeyEx(HKEY key, LPCWSTR subKey, DWORD, LPWSTR keyClass,
                                      DWORD options, REGSAM sam, LPSECURITY_ATTRIBUTES,
                                      PHKEY result, LPDWORD disposition) {
    return OpenOrCreateKey(Op::RegCreateKey, key, subKey, keyClass, options, sam, result,
                           disposition);
}

PLATFORM_EXPORT LONG CeRegCloseKey(HKEY key) {
    const uint64_t value = reinterpret_cast<uintptr_t>(key);
    if (value >= 0x80000000u && value <= 0x80000002u)
        return ERROR_SUCCESS;
    const uint32_t id = KeyId(key);
    Reply reply;
    if (!id)
        return ERROR_INVALID_HANDLE;
    if (!CallFor(Op::RegCloseKey, Writer().U32(id), &reply))
        return static_cast<LONG>(GetLastError());
    return static_cast<LONG>(reply.result);
}

PLATFORM_EXPORT LONG CeRegSetValueEx(HKEY key, LPCWSTR valueName, DWORD, DWORD type,
                                     const BYTE* data, DWORD dataSize) {
    const uint32_t id = KeyId(key);
    if (!id)
        return ERROR_INVALID_HANDLE;
    if ((dataSize && !data) || dataSize > kMaxData)
        return ERROR_INVALID_PARAMETER;
    Reply reply;
    if (!CallFor(Op::RegSetValue,
                 Writer().U32(id).Text(Text(valueName)).U32(type).Bytes(data, dataSize), &reply))
        return static_cast<LONG>(GetLastError());
    return static_cast<LONG>(reply.result);
}

PLATFORM_EXPORT LONG CeRegQueryValueEx(HKEY key, LPCWSTR valueName, LPDWORD, LPDWORD type,
                                       LPBYTE data, LPDWORD dataSize) {
    const uint32_t id = KeyId(key);
    if (!id)
        return ERROR_INVALID_HANDLE;
    if (data && !dataSize)
        return ERROR_INVALID_PARAMETER;
    const uint32_t asked = data ? *dataSize : 0xFFFFFFFFu;
    Reply reply;
    if (!CallFor(Op::RegQueryValue, Writer().U32(id).Text(Text(valueName)).U32(asked), &reply))
        return static_cast<LONG>(GetLastError());
    Reader reader(reply.values);
    uint32_t valueType = 0, size = 0;
    std::vector<uint8_t> bytes;
    if (!reader.U32(&valueType) || !reader.U32(&size) ||
        !reader.Bytes(&bytes, data ? std::min(asked, kMaxData) : 0) || !reader.Done())
        return Malformed(), ERROR_INVALID_DATA;
    if (type)
        *type = valueType;
    if (dataSize)
        *dataSize = size;
    if (data && !bytes.empty())
        std::memcpy(data, bytes.data(), bytes.size());
    return static_cast<LONG>(reply.result);
}

PLATFORM_EXPORT void CeGetSystemInfo(LPSYSTEM_INFO info) {
    if (!info)
        return;
    *info = SYSTEM_INFO{};
    Reply reply;
    if (!CallFor(Op::GetSystemInfo, Writer(), &reply))
        return;
    Reader reader(reply.values);
    uint32_t type = 0, pageSize = 0, count = 0;
    uint16_t architecture = 0, level = 0, revision = 0;
    if (!reader.U32(&type) || !reader.U16(&architecture) || !reader.U32(&pageSize) ||
        !reader.U32(&count) || !reader.U16(&level) || !reader.U16(&revision) || !reader.Done()) {
        Malformed();
        return;
    }
    info->dwProcessorType = type;
    info->wProcessorArchitecture = architecture;
    info->dwPageSize = pageSize;
    info->dwNumberOfProcessors = count;
    info->wProcessorLevel = level;
    info->wProcessorRevision = revision;
}

PLATFORM_EXPORT void CeGlobalMemoryStatus(LPMEMORYSTATUS status) {
    if (!status)
        return;
    const DWORD length = status->dwLength;
    *status = MEMORYSTATUS{};
    status->dwLength = length;
    Reply reply;
    if (!CallFor(Op::GlobalMemoryStatus, Writer(), &reply))
        return;
    Reader reader(reply.values);
    uint32_t load = 0;
    uint64_t figures[6] = {};
    bool ok = reader.U32(&load);
    for (uint64_t& figure : figures)
        ok = ok && reader.U64(&figure);
    if (!ok || !reader.Done()) {
        Malformed();
        return;
    }
    status->dwMemoryLoad = load;
    status->dwTotalPhys = figures[0];
    status->dwAvailPhys = figures[1];
    status->dwTotalPageFile = figures[2];
    status->dwAvailPageFile = figures[3];
    status->dwTotalVirtual = figures[4];
    status->dwAvailVirtual = figures[5];
}

PLATFORM_EXPORT BOOL CeGetVersionEx(LPCEOSVERSIONINFO info) {
    if (!info || info->dwOSVersionInfoSize != sizeof(CEOSVERSIONINFO)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Reply reply;
    if (!CallFor(Op::GetVersion, Writer(), &reply))
        return FALSE;
    Reader reader(reply.values);
    uint32_t major = 0, minor = 0, build = 0, platformId = 0;
    std::u16string servicePack;
    if (!reader.U32(&major) || !reader.U32(&minor) || !reader.U32(&build) ||
        !reader.U32(&platformId) || !reader.Text(&servicePack, 127) || !reader.Done())
        return Malformed();
    info->dwMajorVersion = major;
    info->dwMinorVersion = minor;
    info->dwBuildNumber = build;
    info->dwPlatformId = platformId;
    std::fill(std::begin(info->szCSDVersion), std::end(info->szCSDVersion), 0);
    std::copy(servicePack.begin(), servicePack.end(), info->szCSDVersion);
    return TRUE;
}

PLATFORM_EXPORT BOOL CeSHCreateShortcut(LPWSTR shortcut, LPWSTR target) {
    return BoolCall(Op::CreateShortcut, Writer().Text(Text(shortcut)).Text(Text(target)));
}
