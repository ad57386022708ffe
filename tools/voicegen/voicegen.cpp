#include "tools/voicegen/voicegen.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "pathlume/voice/voice_prompt.h"
#include "platform/kernel/text.h"
#include "tools/voicegen/voice_encoder.h"

extern char** environ;

namespace voicegen {
namespace {

// Every spoken word's English text. German, Spanish and letter words are said
// as written.
const std::map<std::string, std::string>& Texts() {
    static const std::map<std::string, std::string> texts = {
        {"0", "zero"},
        {"1", "one"},
        {"2", "two"},
        {"3", "three"},
        {"4", "four"},
        {"5", "five"},
        {"6", "six"},
        {"7", "seven"},
        {"8", "eight"},
        {"9", "nine"},
        {"10", "ten"},
        {"20", "twenty"},
        {"30", "thirty"},
        {"40", "forty"},
        {"50", "fifty"},
        {"60", "sixty"},
        {"70", "seventy"},
        {"80", "eighty"},
        {"90", "ninety"},
        {"11", "eleven"},
        {"12", "twelve"},
        {"13", "thirteen"},
        {"14", "fourteen"},
        {"15", "fifteen"},
        {"16", "sixteen"},
        {"17", "seventeen"},
        {"18", "eighteen"},
        {"19", "nineteen"},
        {"3q", "three quarters of a"},
        {"100", "hundred"},
        {"200", "two hundred"},
        {"300", "three hundred"},
        {"400", "four hundred"},
        {"500", "five hundred"},
        {"600", "six hundred"},
        {"700", "seven hundred"},
        {"800", "eight hundred"},
        {"900", "nine hundred"},
        {"1000", "thousand"},
        {"bearl", "bear left"},
        {"bearr", "bear right"},
        {"dest", "arriving at your destination"},
        {"drive", "drive"},
        {"east", "east"},
        {"entfwy", "enter the freeway"},
        {"exit", "exit"},
        {"feet", "feet"},
        {"fwy", "freeway"},
        {"in", "in"},
        {"keepl", "keep left"},
        {"keepr", "keep right"},
        {"mile", "mile"},
        {"miles", "miles"},
        {"nearstrd", "proceed to the nearest road"},
        {"north", "north"},
        {"number", "number"},
        {"onleft", "on the left"},
        {"onright", "on the right"},
        {"onto", "onto"},
        {"point", "point"},
        {"sharpl", "sharp left"},
        {"sharpr", "sharp right"},
        {"south", "south"},
        {"straight", "continue straight"},
        {"tcirc", "enter the traffic circle"},
        {"then", "then"},
        {"thenimm", "then immediately"},
        {"turnl", "turn left"},
        {"turnr", "turn right"},
        {"uturn", "make a U-turn"},
        {"wait4gps", "waiting for GPS"},
        {"west", "west"},
        {"meters", "meters"},
        {"km", "kilometer"},
        {"kms", "kilometers"},
        {"carpool", "carpool lane"},
        {"follow", "follow"},
        {"yards", "yards"},
        {"rndabout", "roundabout"},
        {"1st", "first"},
        {"2nd", "second"},
        {"3rd", "third"},
        {"4th", "fourth"},
        {"5th", "fifth"},
        {"6th", "sixth"},
        {"7th", "seventh"},
        {"8th", "eighth"},
        {"9th", "ninth"},
        {"10th", "tenth"},
        {"11th", "eleventh"},
        {"12th", "twelfth"},
        {"take", "take the"},
        {"ofruturn", "off route, make a U-turn when possible"},
        {"deston", "your destination is"},
        {"out", "out"},
        {"ein", "ein"},
        {"a", "a"},
        {"n", "n"},
        {"exitl", "exit left"},
        {"exitr", "exit right"},
        {"entfwyl", "enter the freeway on the left"},
        {"entfwyr", "enter the freeway on the right"},
        {"e", "e"},
        {"tunnel", "tunnel"},
        {"m", "m"},
        {"b", "b"},
        {"l", "l"},
        {"and", "and"},
        {"einen", "einen"},
        {"einem", "einem"},
        {"ontofwy", "onto the freeway"},
        {"danz", "danz"},
        {"einer", "einer"},
        {"1alt", "alternate"},
        {"sign", "sign"},
        {"21", "twenty one"},
        {"31", "thirty one"},
        {"41", "forty one"},
        {"51", "fifty one"},
        {"61", "sixty one"},
        {"71", "seventy one"},
        {"81", "eighty one"},
        {"91", "ninety one"},
        {"Un", "un"},
        {"Una", "una"},
        {"28", "twenty eight"},
        {"38", "thirty eight"},
        {"48", "forty eight"},
        {"58", "fifty eight"},
        {"68", "sixty eight"},
        {"78", "seventy eight"},
        {"88", "eighty eight"},
        {"98", "ninety eight"},
    };
    return texts;
}

constexpr double kToneAmplitude = 12000.0;

uint32_t SerialOf(const std::string& word) {
    uint32_t hash = 2166136261u;  // FNV-1a: the same word always gets the same stream
    for (unsigned char c : word) {
        hash = (hash ^ c) * 16777619u;
    }
    return hash;
}

std::filesystem::path UniqueTemporary(const std::filesystem::path& folder,
                                      const std::string& stem) {
    static std::atomic<unsigned> counter{0};
    return folder / ("." + stem + "." + std::to_string(getpid()) + "." +
                     std::to_string(counter.fetch_add(1)) + ".part");
}

std::vector<uint8_t> ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool WriteWhole(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    const std::filesystem::path part =
        UniqueTemporary(path.parent_path(), path.filename().string());
    {
        std::ofstream file(part, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        file.flush();
        if (!file) {
            file.close();
            std::error_code ignored;
            std::filesystem::remove(part, ignored);
            return false;
        }
    }
    std::error_code error;
    std::filesystem::rename(part, path, error);
    if (error) {
        std::filesystem::remove(part, error);
        return false;
    }
    return true;
}

}  // namespace

std::optional<std::string> SpokenText(const std::string& word) {
    auto found = Texts().find(word);
    if (found == Texts().end()) {
        return std::nullopt;
    }
    return found->second;
}

std::vector<int16_t> ToneOf(const std::string& word) {
    static const std::map<std::string, std::vector<ToneStep>> tones = {
        {"mvr", {{880, 120}, {1320, 180}}},  // the maneuver chime
        {"alarm1", {{1000, 150}, {0, 80}, {1000, 150}, {0, 80}, {1000, 150}}},  // speed alert
        {"alarm2", {{700, 250}, {900, 250}}},
        {"alarm3", {{1500, 400}}},
        {"alarm4", {{500, 120}, {0, 60}, {500, 120}, {0, 60}, {500, 120}}},
        {"click", {{2000, 150}}},
    };
    auto found = tones.find(word);
    return found == tones.end() ? std::vector<int16_t>{} : MakeTones(found->second, kToneAmplitude);
}

std::vector<std::string> AllWords() {
    std::vector<std::string> words;
    for (const WCHAR* word : PromptWordTable) {
        words.push_back(platform::WideToUtf8(word));
    }
    return words;
}

std::optional<std::filesystem::path> FindEspeak() {
    const char* path = std::getenv("PATH");
    std::stringstream folders(path ? path : "");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        const std::filesystem::path candidate = std::filesystem::path(folder) / "espeak-ng";
        if (!folder.empty() && access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return std::nullopt;
}

std::optional<platform::WaveData> Speak(const std::filesystem::path& espeak,
                                        const std::string& text) {
    const std::filesystem::path wav =
        UniqueTemporary(std::filesystem::temp_directory_path(), "voicegen.wav");
    std::vector<std::string> args = {espeak.string(), "-v", "en-us", "-w",
                                     wav.string(),    "--", text};
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    pid_t child = 0;
    int status = 0;
    const bool ran =
        posix_spawn(&child, espeak.c_str(), nullptr, nullptr, argv.data(), environ) == 0 &&
        waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    std::optional<platform::WaveData> wave;
    if (ran) {
        wave = platform::ParseWave(ReadAll(wav));
    }
    std::error_code ignored;
    std::filesystem::remove(wav, ignored);
    return wave;
}

std::optional<std::vector<uint8_t>> EncodeWord(const std::filesystem::path& espeak,
                                               const std::string& word, Format format,
                                               double* audioSeconds) {
    std::vector<int16_t> samples;
    if (std::optional<std::string> text = SpokenText(word)) {
        std::optional<platform::WaveData> spoken = Speak(espeak, *text);
        if (!spoken) {
            return std::nullopt;
        }
        samples = ToMono16k(*spoken);
    } else {
        samples = ToneOf(word);
    }
    if (audioSeconds) {
        *audioSeconds = static_cast<double>(samples.size()) / kPromptRate;
    }
    if (format == Format::Wav) {
        return platform::MakeWave(platform::WaveData{kPromptRate, 1, std::move(samples)});
    }
    return EncodeSpeexOgg(samples, SerialOf(word));
}

int Run(const Options& options, std::ostream& out, std::ostream& err) {
    const std::vector<std::string> words = options.words.empty() ? AllWords() : options.words;
    for (const std::string& word : words) {
        if (!SpokenText(word) && ToneOf(word).empty()) {
            err << "voicegen: \"" << word << "\" is not a prompt word\n";
            return 2;
        }
    }
    const std::optional<std::filesystem::path> espeak = FindEspeak();
    if (!espeak) {
        err << "voicegen: the espeak-ng program was not found on the PATH\n";
        return 1;
    }
    std::error_code error;
    std::filesystem::create_directories(options.out, error);
    if (error) {
        err << "voicegen: cannot make " << options.out << ": " << error.message() << "\n";
        return 1;
    }
    const auto start = std::chrono::steady_clock::now();
    const char* extension = options.format == Format::Wav ? ".wav" : ".spx";
    double totalSeconds = 0;
    uint64_t totalBytes = 0;
    for (const std::string& word : words) {
        double seconds = 0;
        std::optional<std::vector<uint8_t>> bytes =
            EncodeWord(*espeak, word, options.format, &seconds);
        const std::filesystem::path file = options.out / (word + extension);
        if (!bytes) {
            err << "voicegen: espeak-ng could not speak \"" << word << "\"\n";
            return 1;
        }
        if (!WriteWhole(file, *bytes)) {
            err << "voicegen: cannot write " << file << "\n";
            return 1;
        }
        char line[160];
        std::snprintf(line, sizeof line, "%s%s %.3f s %zu bytes\n", word.c_str(), extension,
                      seconds, bytes->size());
        out << line;
        totalSeconds += seconds;
        totalBytes += bytes->size();
    }
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    char figures[160];
    std::snprintf(figures, sizeof figures, "files=%zu audio_s=%.3f bytes=%llu s=%.2f\n",
                  words.size(), totalSeconds, static_cast<unsigned long long>(totalBytes), elapsed);
    out << figures;
    return 0;
}

}  // namespace voicegen
