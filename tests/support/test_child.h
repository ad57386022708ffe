// Child processes for tests that need a second process (registry sharing, named
// mutexes, a process killed mid-write). The child is the same test program started
// again with --test-child=NAME; it runs the registered action and exits with its
// result, and never runs GoogleTest.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace testing_support {

using ChildAction = std::function<int(const std::vector<std::string>& args)>;

// Registers an action under a name; use TEST_CHILD below.
bool RegisterChildAction(const std::string& name, ChildAction action);

// Starts the named action in a child process; the child inherits the environment,
// plus PATHLUME_DEVICE and MAPFERRY_ROOT set to this process's current roots.
pid_t StartChild(const std::string& name, const std::vector<std::string>& args = {});
// Waits for a child and returns its exit code, or 128 + signal when it was killed.
int WaitChild(pid_t pid);
// StartChild and WaitChild in one.
int RunChild(const std::string& name, const std::vector<std::string>& args = {});

// Called by the test main: runs the child action named in argv, if any, and
// reports whether it did (with its exit code in *exitCode).
bool RunChildActionFromArgs(int argc, char** argv, int* exitCode);

}  // namespace testing_support

#define TEST_CHILD_CONCAT2(a, b) a##b
#define TEST_CHILD_CONCAT(a, b) TEST_CHILD_CONCAT2(a, b)
// TEST_CHILD(name) { ... return exitCode; }  with `args` in scope.
#define TEST_CHILD(name)                                                                    \
    static int TEST_CHILD_CONCAT(TestChild_, name)(const std::vector<std::string>& args);   \
    static const bool TEST_CHILD_CONCAT(TestChildRegistered_, name) =                       \
        ::testing_support::RegisterChildAction(#name, TEST_CHILD_CONCAT(TestChild_, name)); \
    static int TEST_CHILD_CONCAT(TestChild_, name)(const std::vector<std::string>& args)
