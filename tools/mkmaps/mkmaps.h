// One whole map generation run headless, as the desktop program's generating
// dialog runs it for a PC-drive target: the generation and copy threads of the
// driver, the disc served as the program folder with its CDn folders on a CD-ROM
// drive, the driver's message boxes answered by rule.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace mkmaps {

struct Options {
    std::filesystem::path disc;  // a folder written by discmaker
    std::filesystem::path to;    // receives the sixteen device files
    // Region numbers; empty for every region on the disc that can be combined.
    std::vector<int> regions;
};

struct Figures {
    int files = 0;
    uint64_t bytes = 0;
    double seconds = 0;
    // True only when the sixteen files were made, the map database opened them and
    // they replaced what the target held.
    bool completed = false;
    // Why not, one line, naming the file when it is known.
    std::string problem;
};

// Runs the generation into a private folder, printing each file as it is copied
// with its size to `out` and the texts of the driver's message boxes to `err`, one
// line each, with a line naming the damaged file when a converter found one; then
// opens the files with the map database and walks every cell, and only when that
// succeeds puts them into the target (under staging names, renamed over the old
// set once all are there). Throws std::runtime_error when the run cannot start (no
// disc information, region tables missing or damaged, an unknown region).
Figures Generate(const Options& options, std::ostream& out, std::ostream& err);

// A desktop root of the process's own while it lives ("mkmaps-PID-..." in the
// system's temporary folder), so that the drives a run serves touch no other
// desktop; the previous root comes back afterwards. Roots that runs killed before
// they could remove them are removed first.
class PrivateDesktop {
  public:
    PrivateDesktop();
    ~PrivateDesktop();
    PrivateDesktop(const PrivateDesktop&) = delete;
    PrivateDesktop& operator=(const PrivateDesktop&) = delete;

  private:
    std::filesystem::path m_root;
    std::filesystem::path m_previous;
};

// Makes a fatal report of the driver (which ends the process from a converter
// thread with exit code 255) print "mkmaps: failed: ..." first. For the tool, not
// for tests.
void EndFatalReportsAsFailures();

// Runs `run` in a child process and returns its status: 0 and 2 as they are, any
// other end (a fatal report, a crash, a signal) 1, with a "mkmaps: failed: ..."
// line when the run could not say it. Once the run has ended, whatever it left in
// its private desktop root is removed; a run whose tool is killed is killed too.
int RunGuarded(const std::function<int()>& run);

// The last line of the tool's output.
std::string FiguresLine(const Figures& figures);

// "4,28" -> {4, 28}; throws std::invalid_argument on anything else.
std::vector<int> ParseRegionList(const std::string& text);

}  // namespace mkmaps
