// The remote API's wire protocol, shared by the desktop's "rapi.dll" and the
// device's service (docs/formats/remote-api.md): little-endian frames, each a u32
// length and then that many bytes; a request is an operation and its arguments, a
// reply the operation with the reply bit, the result, the last error and its values.
// Every length is checked against what arrived and against the limits here.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/kernel/files.h"

namespace platform::rapi {

inline constexpr uint32_t kProtocolVersion = 1;
// The most data one read, write or reply carries; larger calls go in pieces.
inline constexpr uint32_t kMaxData = 1u << 20;
// The most a frame may hold after its length word.
inline constexpr uint32_t kMaxFrame = kMaxData + 4096;
inline constexpr size_t kRequestHead = 4;  // op u16, flags u16
inline constexpr size_t kReplyHead = 12;   // op u16, flags u16, result u32, error u32
inline constexpr uint16_t kReplyBit = 0x8000;
// How long the desktop waits for a reply, and for a new connection after a loss.
inline constexpr int kReplyWaitMs = 10000;
inline constexpr int kReconnectMs = 2000;
inline constexpr size_t kTokenChars = 32;
// Text limits: paths and names, value data, library and export names.
inline constexpr uint32_t kMaxPathChars = MAX_PATH;
inline constexpr uint32_t kMaxNameChars = 64;

enum class Op : uint16_t {
    Hello = 1,
    Invoke = 2,
    GetFileAttributes = 3,
    CreateDirectory = 4,
    CopyFile = 5,
    DeleteFile = 6,
    GetFileSize = 7,
    RegOpenKey = 8,
    RegCreateKey = 9,
    RegCloseKey = 10,
    RegSetValue = 11,
    RegQueryValue = 12,
    FindFirstFile = 13,
    FindNextFile = 14,
    FindClose = 15,
    CreateFile = 16,
    ReadFile = 17,
    WriteFile = 18,
    CloseHandle = 19,
    GetSystemInfo = 20,
    CreateShortcut = 21,
    GlobalMemoryStatus = 22,
    GetVersion = 23,
    MoveFile = 24,
};
inline constexpr uint16_t kLastOp = static_cast<uint16_t>(Op::MoveFile);

// Builds a frame's values.
class Writer {
  public:
    Writer& U16(uint16_t value);
    Writer& U32(uint32_t value);
    Writer& U64(uint64_t value);
    // A u32 count of UTF-16 units, then the units.
    Writer& Text(std::u16string_view text);
    // A u32 count of bytes, then the bytes.
    Writer& Bytes(const void* data, size_t size);
    const std::vector<uint8_t>& bytes() const { return bytes_; }

  private:
    std::vector<uint8_t> bytes_;
};

// Reads a frame's values; any read past the end, or a count above its limit, fails
// this read and every later one.
class Reader {
  public:
    Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    explicit Reader(const std::vector<uint8_t>& bytes) : Reader(bytes.data(), bytes.size()) {}
    bool U16(uint16_t* value);
    bool U32(uint32_t* value);
    bool U64(uint64_t* value);
    bool Text(std::u16string* text, uint32_t maxChars);
    bool Bytes(std::vector<uint8_t>* bytes, uint32_t maxBytes);
    // Everything was read and nothing failed.
    bool Done() const { return ok_ && at_ == size_; }
    bool ok() const { return ok_; }

  private:
    bool Take(size_t size, const uint8_t** start);
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
    bool ok_ = true;
};

std::vector<uint8_t> EncodeRequest(Op op, const Writer& values);
std::vector<uint8_t> EncodeReply(uint16_t op, uint32_t result, uint32_t error,
                                 const Writer& values);

void PutFindData(Writer& writer, const WIN32_FIND_DATAW& data);
bool GetFindData(Reader& reader, WIN32_FIND_DATAW* data);

// ---- Sockets ---------------------------------------------------------------------

enum class Received { Frame, Closed, TimedOut, TooLong, TooShort };
// Sends all bytes within the time; false when the peer is gone or too slow.
bool SendAll(int fd, const std::vector<uint8_t>& bytes, int timeoutMs);
// Reads one frame (its bytes after the length word) within the time. A length
// below `minimum` or above kMaxFrame is refused without reading further.
Received ReceiveFrame(int fd, int timeoutMs, size_t minimum, std::vector<uint8_t>* body);
// A socket whose peer has closed, or which holds bytes nobody asked for.
bool PeerGone(int fd);

// ---- The dock file ---------------------------------------------------------------

// "127.0.0.1 PORT TOKEN": where the cradle listens and the token it admits.
struct DockAddress {
    uint16_t port = 0;
    std::string token;  // kTokenChars hexadecimal digits
};
std::optional<DockAddress> ParseDock(const std::string& text);
std::optional<DockAddress> ReadDockFile(const std::filesystem::path& file);
std::string FormatDock(const DockAddress& address);
// The user's runtime folder's "cradle.dock".
std::filesystem::path DefaultDockFile();
// $MAPFERRY_CRADLE when set, else the default.
std::filesystem::path DockFileForDesktop();
// A TCP connection to 127.0.0.1:port, or -1: at once when refused, else when not
// made within the time.
int ConnectLoopback(uint16_t port, int timeoutMs);

}  // namespace platform::rapi
