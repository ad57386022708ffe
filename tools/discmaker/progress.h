// The progress line of a long run: phase, share done and time so far, redrawn in
// place on stderr. Shown only on a terminal and only once the run has taken two
// seconds, so short runs and logs stay as they were; cleared before the figures.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>

namespace discmaker {

class Progress {
  public:
    // `seconds` gives the time since the run started.
    Progress(std::ostream& out, bool terminal, std::function<double()> seconds);
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // The phase and its share done (0 to 1); redrawn at most ten times a second.
    void Update(const std::string& phase, double share);
    // Clears the line when one was shown.
    void Clear();

    static constexpr double kFirstShownAfter = 2.0;

  private:
    std::ostream& m_out;
    bool m_terminal;
    std::function<double()> m_seconds;
    double m_lastDrawn = -1;
    std::string m_lastPhase;
    size_t m_width = 0;  // of the line on screen
};

// Reports progress: a phase and its share done.
using ProgressReport = std::function<void(const std::string& phase, double share)>;

}  // namespace discmaker
