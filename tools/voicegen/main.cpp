// voicegen --out DIR [--format spx|wav] [--words W,W...]
#include <CLI/CLI.hpp>

#include <iostream>

#include "tools/voicegen/voicegen.h"

int main(int argc, char** argv) {
    CLI::App app{"Writes the voice prompts: one recording per prompt word"};
    voicegen::Options options;
    std::string format = "spx";
    app.add_option("--out", options.out, "folder to write the recordings into")->required();
    app.add_option("--format", format, "spx (Speex in Ogg) or wav (16-bit PCM)")
        ->check(CLI::IsMember({"spx", "wav"}));
    app.add_option("--words", options.words, "only these words (default: all 139)")->delimiter(',');
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? 0 : 2;
    }
    options.format = format == "wav" ? voicegen::Format::Wav : voicegen::Format::Speex;
    return voicegen::Run(options, std::cout, std::cerr);
}
