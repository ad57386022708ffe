// The handheld's help viewer ("\Windows\PegHelp.exe"): shows page FILE at ANCHOR,
// given as its argument "FILE#ANCHOR". A page name without a folder lies in
// \Windows. With a display and xdg-open the page opens in the host's browser;
// otherwise the page is named on stderr. Exit status 0 when the page was shown or
// named, 1 when there is no such page, 2 without an argument.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/kernel/paths.h"
#include "platform/kernel/process.h"
#include "platform/kernel/text.h"

extern char** environ;

namespace {

bool HasDisplay() {
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x && *x) || (wayland && *wayland);
}

// Starts xdg-open on the page and waits for it: true when it opened the page.
bool OpenOnHost(const std::string& target) {
    std::string program = "xdg-open";
    std::vector<char*> argv = {program.data(), const_cast<char*>(target.c_str()), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, argv.data(), environ) != 0)
        return false;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

int main() {
    const std::vector<std::u16string> args =
        platform::CommandLineArguments(platform::ProgramCommandLine());
    if (args.empty() || args[0].empty()) {
        std::fprintf(stderr, "PegHelp: give the page as FILE#ANCHOR\n");
        return 2;
    }
    const std::u16string& asked = args[0];
    const size_t hash = asked.find(u'#');
    std::u16string page = asked.substr(0, hash);
    const std::u16string anchor = hash == std::u16string::npos ? u"" : asked.substr(hash + 1);
    if (page.find_first_of(u"\\/:") == std::u16string::npos)
        page = u"\\Windows\\" + page;
    std::filesystem::path host;
    std::error_code error;
    if (!platform::HostPathFor(page.c_str(), &host) ||
        !std::filesystem::is_regular_file(host, error)) {
        std::fprintf(stderr, "PegHelp: %s: no such page\n", platform::WideToUtf8(page).c_str());
        return 1;
    }
    const std::string target =
        "file://" + host.string() + (anchor.empty() ? "" : "#" + platform::WideToUtf8(anchor));
    if (HasDisplay() && OpenOnHost(target))
        return 0;
    std::fprintf(stderr, "PegHelp: %s%s%s (%s)\n", platform::WideToUtf8(page).c_str(),
                 anchor.empty() ? "" : "#", platform::WideToUtf8(anchor).c_str(),
                 host.string().c_str());
    return 0;
}
