// Navigation programs run as child processes for the end-to-end tests.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace programs_test {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The folder of the debug build's programs and tools: this test program's own.
inline fs::path BinFolder() {
    return fs::read_symlink("/proc/self/exe").parent_path();
}
inline std::string Quoted(const fs::path& path) {
    return "'" + path.string() + "'";
}
inline std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Whether a sanitizer reported a fault on the program's stderr.
inline bool SanitizerReported(const std::string& err) {
    return err.find("AddressSanitizer") != std::string::npos ||
           err.find("LeakSanitizer") != std::string::npos ||
           err.find("runtime error:") != std::string::npos;
}

// Whether the device can speak: make-device's voice prompts need espeak-ng.
inline bool VoiceGeneratorInstalled() {
    return std::system("command -v espeak-ng >/dev/null 2>&1") == 0;
}

// A program started with the environment plus `extra`, its stderr in a file.
struct Child {
    pid_t pid = -1;
    fs::path errFile;

    Child(const fs::path& program, const std::vector<std::string>& args,
          const std::vector<std::string>& extra, const fs::path& err)
        : errFile(err) {
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) {
            const std::string entry = *e;
            bool replaced = false;
            for (const std::string& mine : extra)
                replaced |= entry.compare(0, mine.find('=') + 1, mine, 0, mine.find('=') + 1) == 0;
            if (!replaced)
                env.push_back(entry);
        }
        env.insert(env.end(), extra.begin(), extra.end());
        std::vector<char*> envp, argv;
        for (std::string& e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        std::string path = program.string();
        std::vector<std::string> all{path};
        all.insert(all.end(), args.begin(), args.end());
        for (std::string& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        if (posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0)
            pid = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Child() {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }

    // The exit status, or -1 when the program has not ended `limit` after this call
    // (it is killed when the Child goes). Counted from the call, not from the start: a run
    // that took long on a busy machine still gets the whole limit to end.
    int Wait(std::chrono::milliseconds limit) {
        const Clock::time_point until = Clock::now() + limit;
        while (pid > 0) {
            int raw = 0;
            const pid_t done = ::waitpid(pid, &raw, WNOHANG);
            if (done == pid) {
                pid = -1;
                return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
            }
            if (Clock::now() > until)
                return -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return -1;
    }
    std::string Errors() const { return Slurp(errFile); }
};

// The texts a shot of `every MS shots DIR` holds: "X Y TEXT" a line.
struct ShotText {
    int x, y;
    std::string text;
};
struct Shot {
    int n;
    std::vector<ShotText> texts;
};

// The shots DIR/000001.txt on, in order.
inline std::vector<Shot> ReadShots(const fs::path& folder) {
    std::vector<Shot> shots;
    for (int n = 1;; ++n) {
        char name[16];
        std::snprintf(name, sizeof name, "%06d", n);
        const fs::path file = folder / (std::string(name) + ".txt");
        if (!fs::exists(file))
            break;
        Shot shot{n, {}};
        std::istringstream lines(Slurp(file));
        for (std::string line; std::getline(lines, line);) {
            int x = 0, y = 0, used = 0;
            if (std::sscanf(line.c_str(), "%d %d %n", &x, &y, &used) >= 2)
                shot.texts.push_back({x, y, line.substr(used)});
        }
        shots.push_back(shot);
    }
    return shots;
}

// The first shot from `from` on with a text equal to `text`; shots.size() for none.
inline size_t ShotWith(const std::vector<Shot>& shots, const std::string& text, size_t from) {
    for (size_t i = from; i < shots.size(); ++i) {
        for (const ShotText& drawn : shots[i].texts) {
            if (drawn.text == text)
                return i;
        }
    }
    return shots.size();
}

}  // namespace programs_test
