// A fresh device root and desktop root in a temporary folder for one test, made
// current for the test's lifetime and removed afterwards.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>

namespace testing_support {

class TempRoots {
  public:
    TempRoots();
    ~TempRoots();
    TempRoots(const TempRoots&) = delete;
    TempRoots& operator=(const TempRoots&) = delete;

    const std::filesystem::path& base() const { return base_; }
    const std::filesystem::path& device() const { return device_; }
    const std::filesystem::path& desktop() const { return desktop_; }

  private:
    std::filesystem::path base_;
    std::filesystem::path device_;
    std::filesystem::path desktop_;
};

// A test fixture with TempRoots.
class RootsTest : public testing::Test {
  protected:
    TempRoots roots_;
};

}  // namespace testing_support
