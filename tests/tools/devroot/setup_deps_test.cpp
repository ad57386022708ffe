// scripts/setup-deps against stand-ins for the package tools on PATH: while another
// package manager run holds the lock it waits, says so, and goes on once it is free.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/shared_data.h"
#include "tests/support/temp_root.h"
#include "tests/support/tool_run.h"

namespace {

namespace fs = std::filesystem;

class SetupDepsTest : public testing_support::RootsTest {
  protected:
    void Tool(const std::string& name, const std::string& body) {
        const fs::path file = roots_.base() / "bin" / name;
        fs::create_directories(file.parent_path());
        std::ofstream(file) << "#!/bin/sh\n" << body << "\n";
        fs::permissions(file, fs::perms::owner_all);
    }
    testing_support::ToolRun Run() {
        const fs::path script = testing_support::RepositoryFolder() / "scripts" / "setup-deps";
        return testing_support::RunTool("PATH='" + (roots_.base() / "bin").string() +
                                            ":/usr/bin:/bin' '" + script.string() + "'",
                                        "", roots_.base());
    }
};

TEST_F(SetupDepsTest, WaitsForAnotherRunsLockAndThenInstalls) {
    const fs::path calls = roots_.base() / "apt-calls";
    // Every package is missing; root needs no sudo; waiting takes no time.
    Tool("dpkg-query", "echo 'unknown ok not-installed'");
    Tool("id", "echo 0");
    Tool("sleep", ":");
    // The lock is held for the first two calls.
    Tool("apt-get", "echo \"$*\" >>'" + calls.string() +
                        "'\n"
                        "n=$(wc -l <'" +
                        calls.string() +
                        "')\n"
                        "if [ \"$n\" -le 2 ]; then\n"
                        "  echo 'E: Could not get lock /var/lib/dpkg/lock-frontend. It is held by "
                        "process 4242 (apt-get)' >&2\n"
                        "  exit 100\n"
                        "fi");
    const testing_support::ToolRun run = Run();
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("another package manager run holds its lock; waiting"),
              std::string::npos)
        << run.err;
    std::ifstream in(calls);
    std::string line;
    int updates = 0, installs = 0;
    while (std::getline(in, line)) {
        updates += line.rfind("update", 0) == 0;
        installs += line.rfind("install", 0) == 0;
    }
    EXPECT_EQ(updates, 3);
    EXPECT_EQ(installs, 1);

    // Any other failure is not waited for.
    Tool("apt-get", "echo 'E: Unable to locate package x' >&2; exit 100");
    const testing_support::ToolRun failed = Run();
    EXPECT_NE(failed.status, 0);
    EXPECT_EQ(failed.err.find("waiting"), std::string::npos) << failed.err;
}

}  // namespace
