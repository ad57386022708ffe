// Runs a command-line tool for a test and keeps what it printed.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace testing_support {

struct ToolRun {
    int status = -1;  // the exit status; -1 when the tool did not exit by itself
    std::string out;
    std::string err;
};

// Runs `program args` through the shell (quote arguments as the shell needs), with its
// output kept in files under `folder`.
inline ToolRun RunTool(const std::string& program, const std::string& args,
                       const std::filesystem::path& folder) {
    const std::filesystem::path out = folder / "tool-out.txt";
    const std::filesystem::path err = folder / "tool-err.txt";
    const std::string command =
        program + " " + args + " >'" + out.string() + "' 2>'" + err.string() + "'";
    const int raw = std::system(command.c_str());
    auto slurp = [](const std::filesystem::path& path) {
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    };
    return ToolRun{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(out), slurp(err)};
}

}  // namespace testing_support
