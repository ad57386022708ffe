// The command-line tools' shared frame around CLI11: the tool's own usage text is
// its help and follows every mistake, which ends the run with exit status 2.
#pragma once

#include <CLI/CLI.hpp>

#include <cstdio>
#include <optional>
#include <string>

namespace tools {

class CommandLine {
  public:
    CommandLine(const char* tool, const char* usage) : app(tool), tool_(tool), usage_(usage) {
        app.set_help_flag();
        app.add_flag("-h,--help", help_);
    }

    // "TOOL: ERROR" and the usage on stderr; returns the exit status 2.
    int Fail(const std::string& error) const {
        std::fprintf(stderr, "%s: %s\n\n%s", tool_, error.c_str(), usage_);
        return 2;
    }

    // Parses into what the caller bound to `app`. Returns the exit status when the run
    // ends here: 0 after the help, 2 for a mistake. With `extraWord`, a word CLI11 does
    // not take is named after it; without, CLI11 refuses it itself.
    std::optional<int> Parse(int argc, char** argv, const char* extraWord = nullptr) {
        if (extraWord)
            app.allow_extras();
        try {
            app.parse(argc, argv);
        } catch (const CLI::ParseError& error) {
            return Fail(error.what());
        }
        if (help_) {
            std::fputs(usage_, stdout);
            return 0;
        }
        if (extraWord && !app.remaining().empty())
            return Fail(extraWord + app.remaining().front());
        return std::nullopt;
    }

    CLI::App app;

  private:
    const char* tool_;
    const char* usage_;
    bool help_ = false;
};

}  // namespace tools
