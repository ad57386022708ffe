#include "tests/support/test_child.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <stdexcept>

#include "platform/kernel/roots.h"

namespace testing_support {
namespace {

std::map<std::string, ChildAction>& Actions() {
    static std::map<std::string, ChildAction> actions;
    return actions;
}

constexpr const char* kChildFlag = "--test-child=";

}  // namespace

bool RegisterChildAction(const std::string& name, ChildAction action) {
    Actions()[name] = std::move(action);
    return true;
}

pid_t StartChild(const std::string& name, const std::vector<std::string>& args) {
    std::string device = platform::DeviceRoot().string();
    std::string desktop = platform::DesktopRoot().string();
    std::vector<std::string> argv{"/proc/self/exe", kChildFlag + name};
    argv.insert(argv.end(), args.begin(), args.end());
    pid_t pid = fork();
    if (pid < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid == 0) {
        setenv("PATHLUME_DEVICE", device.c_str(), 1);
        setenv("MAPFERRY_ROOT", desktop.c_str(), 1);
        std::vector<char*> raw;
        for (std::string& arg : argv) {
            raw.push_back(arg.data());
        }
        raw.push_back(nullptr);
        execv("/proc/self/exe", raw.data());
        _exit(127);
    }
    return pid;
}

int WaitChild(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return -1;
        }
    }
    if (WIFSIGNALED(status)) {
        return 128 + WTERMSIG(status);
    }
    return WEXITSTATUS(status);
}

int RunChild(const std::string& name, const std::vector<std::string>& args) {
    return WaitChild(StartChild(name, args));
}

bool RunChildActionFromArgs(int argc, char** argv, int* exitCode) {
    if (argc < 2 || std::strncmp(argv[1], kChildFlag, std::strlen(kChildFlag)) != 0) {
        return false;
    }
    std::string name = argv[1] + std::strlen(kChildFlag);
    auto it = Actions().find(name);
    if (it == Actions().end()) {
        *exitCode = 126;
        return true;
    }
    *exitCode = it->second(std::vector<std::string>(argv + 2, argv + argc));
    return true;
}

}  // namespace testing_support
