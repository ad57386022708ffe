// cabinstall install|remove ROOT [--from DIR]
// Installs the navigation package into a device root, or removes it, as the
// handheld's package installer does.
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>

#include "tools/cabinstall/cabinstall.h"
#include "tools/command_line.h"

namespace {

const char kUsage[] =
    "usage: cabinstall install|remove ROOT [--from DIR]\n"
    "  install  puts the three navigation programs, launcher.exe, portscout.exe and\n"
    "           theme.ini into \\Program Files\\Zanter\\Wayscribe, oxloserv.dll into\n"
    "           \\Windows and the Start-menu shortcut to the launcher, calling the\n"
    "           package's setup.dll as the handheld's installer does; every file is\n"
    "           written under a new name before any takes its place\n"
    "  remove   deletes exactly what the installation's record lists (maps and the\n"
    "           user's files stay), calling setup.dll's removal hooks\n"
    "  ROOT     an existing device root folder\n"
    "  --from   the package's folder (default: this program's own)\n"
    "Exit 0 done, 1 failed with nothing changed, 2 bad arguments.\n";

}  // namespace

int main(int argc, char** argv) {
    tools::CommandLine command("cabinstall", kUsage);
    std::string verb, root, from;
    command.app.add_option("VERB", verb);
    command.app.add_option("ROOT", root);
    command.app.add_option("--from", from);
    if (const std::optional<int> status = command.Parse(argc, argv))
        return *status;
    if (verb != "install" && verb != "remove")
        return command.Fail(verb.empty() ? "give install or remove" : "unknown operation " + verb);
    if (root.empty())
        return command.Fail("give ROOT");
    const std::filesystem::path package =
        from.empty() ? std::filesystem::read_symlink("/proc/self/exe").parent_path()
                     : std::filesystem::absolute(from);
    return verb == "install" ? cabinstall::Install(root, package, std::cout, std::cerr)
                             : cabinstall::Remove(root, package, std::cout, std::cerr);
}
