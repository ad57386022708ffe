#include "tools/discmaker/progress.h"

#include <algorithm>
#include <cstdio>
#include <ostream>

namespace discmaker {

Progress::Progress(std::ostream& out, bool terminal, std::function<double()> seconds)
    : m_out(out), m_terminal(terminal), m_seconds(std::move(seconds)) {}

void Progress::Update(const std::string& phase, double share) {
    if (!m_terminal)
        return;
    const double now = m_seconds();
    if (now < kFirstShownAfter || (phase == m_lastPhase && now - m_lastDrawn < 0.1))
        return;
    m_lastDrawn = now;
    m_lastPhase = phase;
    char line[160];
    std::snprintf(line, sizeof line, "discmaker: %s %3d%%, %.1f s", phase.c_str(),
                  static_cast<int>(std::clamp(share, 0.0, 1.0) * 100), now);
    const std::string text = line;
    // Blanks over what a longer line before left behind.
    m_out << '\r' << text << std::string(m_width > text.size() ? m_width - text.size() : 0, ' ')
          << std::flush;
    m_width = text.size();
}

void Progress::Clear() {
    if (m_width == 0)
        return;
    m_out << '\r' << std::string(m_width, ' ') << '\r' << std::flush;
    m_width = 0;
}

}  // namespace discmaker
