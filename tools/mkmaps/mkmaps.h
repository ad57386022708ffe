// One whole map generation run headless, as the desktop program's generating
// dialog runs it for a PC-drive target: the generation and copy threads of the
// driver, the disc served as the program folder with its CDn folders on a CD-ROM
// drive, the driver's message boxes answered by rule.
#pragma once

#include <cstdint>
#include <filesystem>
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
    bool completed = false;
};

// Runs the generation, printing each file as it is copied with its size to `out`
// and the texts of the driver's message boxes to `err`. Throws std::runtime_error
// when the run cannot start (no disc information, no region tables, an unknown
// region).
Figures Generate(const Options& options, std::ostream& out, std::ostream& err);

// A desktop root of the process's own while it lives, so that the drives a run
// serves touch no other desktop; the previous root comes back afterwards.
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

// The last line of the tool's output.
std::string FiguresLine(const Figures& figures);

// "4,28" -> {4, 28}; throws std::invalid_argument on anything else.
std::vector<int> ParseRegionList(const std::string& text);

}  // namespace mkmaps
