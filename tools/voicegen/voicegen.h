// voicegen: one recording per prompt word, spoken by the espeak-ng program or made
// as a tone, resampled to 16 kHz mono and written as Speex in Ogg or as WAV.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/audio/audio.h"

namespace voicegen {

enum class Format { Speex, Wav };

struct Options {
    std::filesystem::path out;
    Format format = Format::Speex;
    std::vector<std::string> words;  // empty: every word of the prompt-word table
};

// What the word says in English ("turnr": "turn right"), or nothing for the
// words that are tones.
std::optional<std::string> SpokenText(const std::string& word);
// The tone of a tone word ("mvr", "alarm1" to "alarm4", "click") at 16 kHz.
std::vector<int16_t> ToneOf(const std::string& word);
// The prompt words, in table order.
std::vector<std::string> AllWords();

// Where the espeak-ng program is, or nothing when it is not on the PATH.
std::optional<std::filesystem::path> FindEspeak();
// The text spoken in US English by espeak-ng, as the WAV it writes.
std::optional<platform::WaveData> Speak(const std::filesystem::path& espeak,
                                        const std::string& text);

// The file's bytes for one word in the format, at 16 kHz mono; nothing when
// espeak-ng failed.
std::optional<std::vector<uint8_t>> EncodeWord(const std::filesystem::path& espeak,
                                               const std::string& word, Format format,
                                               double* audioSeconds);

// Writes every word's file (through a temporary name, renamed when complete),
// printing each file's duration and bytes and then the line of figures. 0 when all
// were written, 1 when espeak-ng is missing or a file could not be written, 2 for an
// unknown word.
int Run(const Options& options, std::ostream& out, std::ostream& err);

}  // namespace voicegen
