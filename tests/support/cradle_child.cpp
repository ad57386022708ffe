#include "tests/support/cradle_child.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/rapi/protocol.h"

extern char** environ;

namespace testing_support {

namespace fs = std::filesystem;

fs::path ProgramsFolder() {
    return fs::read_symlink("/proc/self/exe").parent_path();
}

CradleChild::CradleChild(const fs::path& root, std::vector<std::string> extra, fs::path dock)
    : dock_(dock.empty() ? root.parent_path() / "cradle.dock" : std::move(dock)),
      errors_(dock_.string() + "." + std::to_string(getpid()) + ".err") {
    // A dock left by a cradle killed before this one would read as this one's.
    std::error_code ignored;
    fs::remove(dock_, ignored);
    const std::string program = (ProgramsFolder() / "cradle").string();
    std::vector<std::string> args{program, root.string(), "--dock", dock_.string(), "--port", "0"};
    args.insert(args.end(), extra.begin(), extra.end());
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, errors_.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0)
        pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (pid_ > 0 && std::chrono::steady_clock::now() < deadline) {
        if (platform::rapi::ReadDockFile(dock_)) {
            ready_ = true;
            break;
        }
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

CradleChild::~CradleChild() {
    Stop(SIGKILL);
    std::error_code ignored;
    fs::remove(errors_, ignored);
}

void CradleChild::UseForDesktop() const {
    setenv("MAPFERRY_CRADLE", dock_.c_str(), 1);
}

int CradleChild::Stop(int signal) {
    if (pid_ <= 0)
        return -1;
    if (signal == SIGKILL || signal == SIGTERM || signal == SIGINT)
        ::kill(pid_, SIGCONT);
    ::kill(pid_, signal);
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void CradleChild::Pause() const {
    if (pid_ > 0)
        ::kill(pid_, SIGSTOP);
}

void CradleChild::Resume() const {
    if (pid_ > 0)
        ::kill(pid_, SIGCONT);
}

std::string CradleChild::Errors() const {
    std::ifstream in(errors_);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace testing_support
