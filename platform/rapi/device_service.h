// The device's side of the remote API: one desktop's session with the handheld.
// The session answers each request frame with the device's own platform calls, on
// the current device root, and keeps the handles the desktop opened and the libraries
// it invoked; what the desktop left open is closed when the session ends.
//
// What the desktop names is checked before any call: paths must be the device's own
// absolute paths (no drive, no host path, no "..", no stand-in file), handles must be
// ones this session gave out, libraries are bare names in \Windows. A request that
// breaks a rule is refused (and said on stderr); a frame that cannot be read ends the
// connection.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/kernel/kernel.h"

namespace platform::rapi {

struct ServiceOptions {
    std::string token;
    DWORD processorType = 2577;  // the handheld's ARM
    DWORD osMajor = 5;
    DWORD osMinor = 1;
    // Invoke only libraries the device's metabase opens to the remote API.
    bool restricted = false;
    // Asked before each file write; false ends the connection there (the write is not
    // made and not answered).
    std::function<bool()> beforeWrite;
};

// A path the desktop may name on the device.
bool IsDevicePath(std::u16string_view path);
// A library the desktop may invoke: a bare file name.
bool IsLibraryName(std::u16string_view name);

class DeviceSession {
  public:
    explicit DeviceSession(ServiceOptions options);
    ~DeviceSession();
    DeviceSession(const DeviceSession&) = delete;
    DeviceSession& operator=(const DeviceSession&) = delete;

    enum class Next { Reply, Close, ReplyThenClose };
    // One request frame's bytes after its length word; the reply frame goes to
    // *reply unless the answer is Close.
    Next Handle(const std::vector<uint8_t>& body, std::vector<uint8_t>* reply);
    bool Greeted() const { return greeted_; }

  private:
    struct Entry {
        enum class Kind { File, Find, Key } kind;
        HANDLE handle = nullptr;
        HKEY key = nullptr;
    };

    uint32_t Add(Entry entry);
    // The entry of an id this session gave out, of the kind asked; null otherwise
    // (said on stderr).
    Entry* Lookup(uint32_t id, Entry::Kind kind);
    // A key the desktop names: a predefined root or a key of this session.
    bool KeyOf(uint32_t id, HKEY* key);
    HRESULT Invoke(const std::u16string& library, const std::u16string& function,
                   std::vector<uint8_t>& input, std::vector<uint8_t>* output);
    bool OpenedToRemoteApi(const std::u16string& fileName);

    ServiceOptions options_;
    bool greeted_ = false;
    uint32_t next_ = 1;
    std::map<uint32_t, Entry> entries_;
    std::map<std::u16string, HMODULE> libraries_;  // by upper-case file name
};

}  // namespace platform::rapi
