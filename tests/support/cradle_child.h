// The cradle program as a child of a test: serving a device root on a free port, its
// dock file in a folder of the test's own, stopped by its pid.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace testing_support {

class CradleChild {
  public:
    // Starts the build's cradle on `root` with the dock `dock` (default: beside the
    // root, "cradle.dock") and any further arguments, and waits (at most 10 s) until
    // it serves. Ready() tells whether it does.
    explicit CradleChild(const std::filesystem::path& root, std::vector<std::string> extra = {},
                         std::filesystem::path dock = {});
    ~CradleChild();
    CradleChild(const CradleChild&) = delete;
    CradleChild& operator=(const CradleChild&) = delete;

    bool Ready() const { return ready_; }
    const std::filesystem::path& dock() const { return dock_; }
    pid_t pid() const { return pid_; }
    // Makes this cradle the one the desktop's remote API library reads
    // (MAPFERRY_CRADLE).
    void UseForDesktop() const;
    // Signals the cradle and waits for its end; its exit status (128 + signal when
    // killed), or -1 when it had ended already.
    int Stop(int signal);
    void Pause() const;
    void Resume() const;
    // What it said on stderr so far.
    std::string Errors() const;

  private:
    pid_t pid_ = -1;
    bool ready_ = false;
    std::filesystem::path dock_;
    std::filesystem::path errors_;
};

// The build's programs folder (this test program's own).
std::filesystem::path ProgramsFolder();

}  // namespace testing_support
