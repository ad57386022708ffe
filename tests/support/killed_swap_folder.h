// A map folder whose swap is killed after a given number of renames and deletes:
// from then on every one fails, as the folder of a killed process stays.
#pragma once

#include <string>

#include "formats/map_set.h"

namespace testing_support {

class KilledSwapFolder : public formats::map_set::SwapFolder {
  public:
    KilledSwapFolder(formats::map_set::SwapFolder& real, int limit) : m_real(real), m_left(limit) {}
    bool Exists(const std::u16string& name) override { return m_real.Exists(name); }
    bool Rename(const std::u16string& from, const std::u16string& to) override {
        return Take() && m_real.Rename(from, to);
    }
    bool Delete(const std::u16string& name) override { return Take() && m_real.Delete(name); }
    bool Killed() const { return m_left < 0; }

  private:
    bool Take() { return --m_left >= 0; }
    formats::map_set::SwapFolder& m_real;
    int m_left;
};

}  // namespace testing_support
