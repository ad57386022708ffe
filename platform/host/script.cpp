// Scripted runs: reading the script, and running it on the user-interface thread
// (a timer on the main window, and the thread's first idle moment), so that every
// action and every shot falls between two messages.
#include "platform/host/script.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>

namespace platform::host {
namespace {

// The script's timer on the main window; far from the ids programs use.
constexpr UINT_PTR kScriptTimer = 0x5C7A1;

bool ParseNumber(const std::string& text, uint64_t limit, uint64_t* value) {
    if (text.empty() || text[0] == '-' || text[0] == '+') {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    unsigned long long parsed = std::strtoull(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || parsed > limit) {
        return false;
    }
    *value = parsed;
    return true;
}

std::string Trim(const std::string& text) {
    const char* blanks = " \t\r\n";
    size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// Splits off the first word; the rest keeps its inner blanks (paths may have them).
std::string NextWord(std::string* rest) {
    std::string text = Trim(*rest);
    size_t end = text.find_first_of(" \t");
    std::string word = text.substr(0, end);
    *rest = end == std::string::npos ? std::string() : Trim(text.substr(end));
    return word;
}

std::string Upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

// Parses an action; the error when it is not one.
std::optional<std::string> ParseAction(std::string rest, int width, int height,
                                       ScriptAction* action) {
    using Kind = ScriptAction::Kind;
    const std::string verb = NextWord(&rest);
    auto noMore = [&]() -> std::optional<std::string> {
        if (!rest.empty()) {
            return "unexpected \"" + rest + "\" after " + verb;
        }
        return std::nullopt;
    };
    uint64_t value = 0;
    if (verb == "tap") {
        uint64_t x = 0;
        uint64_t y = 0;
        if (!ParseNumber(NextWord(&rest), static_cast<uint64_t>(width - 1), &x) ||
            !ParseNumber(NextWord(&rest), static_cast<uint64_t>(height - 1), &y)) {
            return "tap needs X Y on the " + std::to_string(width) + "x" + std::to_string(height) +
                   " screen";
        }
        action->kind = Kind::Tap;
        action->point = POINT{static_cast<LONG>(x), static_cast<LONG>(y)};
        return noMore();
    }
    if (verb == "key") {
        action->kind = Kind::Key;
        action->value = VirtualKeyNamed(NextWord(&rest));
        if (action->value == 0) {
            return "key needs a key name (RETURN, ESCAPE, LEFT, F1, A, 7...) or a key code";
        }
        return noMore();
    }
    if (verb == "command" || verb == "answer") {
        if (!ParseNumber(NextWord(&rest), 0xFFFF, &value) || value == 0) {
            return verb + " needs an id from 1 to 65535";
        }
        action->kind = verb == "command" ? Kind::Command : Kind::Answer;
        action->value = static_cast<UINT>(value);
        return noMore();
    }
    if (verb == "close" || verb == "resume") {
        action->kind = verb == "close" ? Kind::Close : Kind::Resume;
        return noMore();
    }
    if (verb == "shot") {
        if (rest.empty()) {
            return "shot needs a file name";
        }
        action->kind = Kind::Shot;
        action->path = rest;
        return std::nullopt;
    }
    if (verb == "every") {
        if (!ParseNumber(NextWord(&rest), 24ull * 3600 * 1000, &value) || value == 0 ||
            NextWord(&rest) != "shots" || rest.empty()) {
            return "every needs MS shots DIR";
        }
        action->kind = Kind::Every;
        action->period = value;
        action->path = rest;
        return std::nullopt;
    }
    if (verb == "file") {
        if (rest.empty()) {
            return "file needs a device path or cancel";
        }
        action->kind = Kind::File;
        if (rest != "cancel") {
            action->file = Utf8ToWide(rest);
        }
        return std::nullopt;
    }
    return "unknown action \"" + verb + "\"";
}

// --- Running -----------------------------------------------------------------------

struct Runner {
    std::mutex lock;
    std::vector<ScriptLine> timed;  // At lines, by time, then in file order
    std::vector<ScriptLine> idle;
    bool started = false;  // the main window was shown
    uint64_t origin = 0;   // the clock then
    HWND main = nullptr;
    // Every MS shots DIR.
    uint64_t period = 0;
    uint64_t nextShot = 0;
    std::filesystem::path folder;
    int shots = 0;
    std::unique_ptr<ScreenTextLog> texts;
};

Runner& TheRunner() {
    static auto* runner = new Runner;
    return *runner;
}

void WriteShot(const std::filesystem::path& file) {
    HDC screen = CreateScreenDC();
    if (!SaveDCAsPng(screen, file)) {
        std::fprintf(stderr, "PATHLUME_SCRIPT: cannot write %s\n", file.c_str());
    }
    DeleteDC(screen);
}

void WriteTexts(const std::filesystem::path& file, const std::vector<DrawnText>& texts) {
    std::ofstream out(file, std::ios::binary);
    for (const DrawnText& text : texts) {
        const POINT at = text.onSurface;
        if (at.x < 0 || at.y < 0 || at.x >= ScreenWidth() || at.y >= ScreenHeight()) {
            continue;
        }
        out << at.x << ' ' << at.y << ' ' << WideToUtf8(text.text) << '\n';
    }
    if (!out) {
        std::fprintf(stderr, "PATHLUME_SCRIPT: cannot write %s\n", file.c_str());
    }
}

// Call without the runner's lock.
void TakeEveryShot(Runner& runner) {
    std::filesystem::path folder;
    int number = 0;
    std::vector<DrawnText> texts;
    {
        std::lock_guard<std::mutex> guard(runner.lock);
        folder = runner.folder;
        number = ++runner.shots;
        if (runner.texts) {
            texts = runner.texts->Take();
        }
    }
    char name[16];
    std::snprintf(name, sizeof name, "%06d", number);
    WriteShot(folder / (std::string(name) + ".png"));
    WriteTexts(folder / (std::string(name) + ".txt"), texts);
}

HWND Target(const Runner& runner) {
    HWND main = MainWindow();
    return main ? main : runner.main;
}

void Act(const ScriptAction& action) {
    using Kind = ScriptAction::Kind;
    Runner& runner = TheRunner();
    switch (action.kind) {
        case Kind::Tap:
            PostTap(action.point);
            break;
        case Kind::Key:
            PostKeyPress(action.value);
            break;
        case Kind::Command:
            PostMessageW(Target(runner), WM_COMMAND, action.value, 0);
            break;
        case Kind::Close:
            if (MainWindow())
                PostCloseToMainWindow();
            else
                PostMessageW(runner.main, WM_CLOSE, 0, 0);
            break;
        case Kind::Resume:
            SimulatePowerResume();
            break;
        case Kind::Shot:
            WriteShot(action.path);
            break;
        case Kind::Every: {
            std::error_code error;
            std::filesystem::create_directories(action.path, error);
            std::lock_guard<std::mutex> guard(runner.lock);
            runner.period = action.period;
            runner.folder = action.path;
            runner.nextShot = ClockMilliseconds() + action.period;
            if (!runner.texts) {
                runner.texts = std::make_unique<ScreenTextLog>();
            }
            break;
        }
        case Kind::Answer:
            QueueMessageBoxAnswer(static_cast<int>(action.value));
            break;
        case Kind::File:
            QueueFileDialogAnswer(action.file);
            break;
    }
}

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);

// Arms the timer for what is due next. Call with the runner's lock held.
void ScheduleLocked(Runner& runner) {
    if (!runner.started || !IsWindow(runner.main)) {
        return;
    }
    const uint64_t now = ClockMilliseconds();
    uint64_t due = UINT64_MAX;
    if (!runner.timed.empty()) {
        due = std::min(due, runner.origin + runner.timed.front().at);
    }
    if (runner.period) {
        due = std::min(due, runner.nextShot);
    }
    if (due == UINT64_MAX) {
        KillTimer(runner.main, kScriptTimer);
        return;
    }
    uint64_t wait = due > now ? due - now : 0;
    SetTimer(runner.main, kScriptTimer, static_cast<UINT>(std::min<uint64_t>(wait, 0x7FFFFFFF)),
             Tick);
}

// On the user-interface thread, when it reads its queue and nothing else is there.
void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    Runner& runner = TheRunner();
    std::vector<ScriptAction> actions;
    bool shot = false;
    {
        std::lock_guard<std::mutex> guard(runner.lock);
        const uint64_t now = ClockMilliseconds();
        auto due =
            std::find_if(runner.timed.begin(), runner.timed.end(),
                         [&](const ScriptLine& line) { return runner.origin + line.at > now; });
        for (auto it = runner.timed.begin(); it != due; ++it) {
            actions.push_back(it->action);
        }
        runner.timed.erase(runner.timed.begin(), due);
        if (runner.period && runner.nextShot <= now) {
            shot = true;
            runner.nextShot = std::max(runner.nextShot + runner.period, now + 1);
        }
    }
    if (shot) {
        TakeEveryShot(runner);
    }
    for (const ScriptAction& action : actions) {
        Act(action);
    }
    std::lock_guard<std::mutex> guard(runner.lock);
    ScheduleLocked(runner);
}

// The first time the user-interface thread has nothing queued or to paint.
void OnIdle() {
    Runner& runner = TheRunner();
    std::vector<ScriptLine> lines;
    {
        std::lock_guard<std::mutex> guard(runner.lock);
        lines = std::move(runner.idle);
        runner.idle.clear();
    }
    for (const ScriptLine& line : lines) {
        Act(line.action);
    }
}

void OnMainWindowShown(HWND hwnd) {
    Runner& runner = TheRunner();
    std::lock_guard<std::mutex> guard(runner.lock);
    if (runner.started) {
        return;
    }
    runner.started = true;
    runner.origin = ClockMilliseconds();
    runner.main = hwnd;
    if (!runner.idle.empty()) {
        CallWhenIdle(hwnd, OnIdle);
    }
    ScheduleLocked(runner);
}

}  // namespace

UINT VirtualKeyNamed(const std::string& name) {
    static const std::pair<const char*, UINT> kNames[] = {
        {"BACK", VK_BACK},     {"TAB", VK_TAB},       {"CLEAR", VK_CLEAR},
        {"RETURN", VK_RETURN}, {"SHIFT", VK_SHIFT},   {"CONTROL", VK_CONTROL},
        {"MENU", VK_MENU},     {"PAUSE", VK_PAUSE},   {"ESCAPE", VK_ESCAPE},
        {"SPACE", VK_SPACE},   {"PRIOR", VK_PRIOR},   {"NEXT", VK_NEXT},
        {"END", VK_END},       {"HOME", VK_HOME},     {"LEFT", VK_LEFT},
        {"UP", VK_UP},         {"RIGHT", VK_RIGHT},   {"DOWN", VK_DOWN},
        {"SELECT", VK_SELECT}, {"INSERT", VK_INSERT}, {"DELETE", VK_DELETE},
        {"HELP", VK_HELP},     {"APP1", VK_APP1},     {"APP2", VK_APP2},
        {"APP3", VK_APP3},     {"APP4", VK_APP4},     {"APP5", VK_APP5},
        {"APP6", VK_APP6},
    };
    const std::string upper = Upper(name);
    if (upper.size() == 1 &&
        ((upper[0] >= 'A' && upper[0] <= 'Z') || (upper[0] >= '0' && upper[0] <= '9'))) {
        return static_cast<UINT>(upper[0]);  // the letter and digit keys are their characters
    }
    for (const auto& [key, code] : kNames) {
        if (upper == key) {
            return code;
        }
    }
    uint64_t number = 0;
    if (upper.size() >= 2 && upper[0] == 'F' && ParseNumber(upper.substr(1), 12, &number) &&
        number >= 1) {
        return static_cast<UINT>(VK_F1 + number - 1);
    }
    return ParseNumber(name, 0xFE, &number) ? static_cast<UINT>(number) : 0;
}

std::optional<std::vector<ScriptLine>> ReadScript(const std::filesystem::path& file,
                                                  int screenWidth, int screenHeight,
                                                  std::string* error) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        *error = file.string() + ": cannot be read";
        return std::nullopt;
    }
    std::vector<ScriptLine> lines;
    std::string text;
    int number = 0;
    while (std::getline(in, text)) {
        ++number;
        std::string rest = Trim(text);
        if (rest.empty() || rest[0] == '#') {
            continue;
        }
        ScriptLine line;
        line.number = number;
        std::string copy = rest;
        const std::string first = NextWord(&copy);
        if (first == "at") {
            const std::string ms = NextWord(&copy);
            if (!ParseNumber(ms, 30ull * 24 * 3600 * 1000, &line.at)) {
                *error = file.string() + ":" + std::to_string(number) + ": at needs MS ACTION";
                return std::nullopt;
            }
            line.when = ScriptLine::When::At;
            rest = copy;
        } else if (first == "idle") {
            line.when = ScriptLine::When::Idle;
            rest = copy;
        }
        if (std::optional<std::string> problem =
                ParseAction(rest, screenWidth, screenHeight, &line.action)) {
            *error = file.string() + ":" + std::to_string(number) + ": " + *problem;
            return std::nullopt;
        }
        lines.push_back(std::move(line));
    }
    if (in.bad()) {
        *error = file.string() + ": cannot be read";
        return std::nullopt;
    }
    return lines;
}

void RunScript(std::vector<ScriptLine> lines) {
    StopScript();
    Runner& runner = TheRunner();
    std::vector<ScriptAction> now;
    {
        std::lock_guard<std::mutex> guard(runner.lock);
        for (ScriptLine& line : lines) {
            using Kind = ScriptAction::Kind;
            const Kind kind = line.action.kind;
            if (kind == Kind::Every && !runner.texts) {
                // The first shot lists what was drawn since the start.
                runner.texts = std::make_unique<ScreenTextLog>();
            }
            if (line.when == ScriptLine::When::Start &&
                (kind == Kind::Answer || kind == Kind::File)) {
                now.push_back(line.action);  // waits for the box or dialog it answers
            } else if (line.when == ScriptLine::When::Idle) {
                runner.idle.push_back(std::move(line));
            } else {
                runner.timed.push_back(std::move(line));  // a plain line runs at 0
            }
        }
        std::stable_sort(runner.timed.begin(), runner.timed.end(),
                         [](const ScriptLine& a, const ScriptLine& b) { return a.at < b.at; });
    }
    for (const ScriptAction& action : now) {
        Act(action);
    }
    SetMainWindowShownHandler(OnMainWindowShown);
    if (HWND main = MainWindow()) {
        OnMainWindowShown(main);
    }
}

void StopScript() {
    SetMainWindowShownHandler(nullptr);
    Runner& runner = TheRunner();
    std::lock_guard<std::mutex> guard(runner.lock);
    if (runner.main && IsWindow(runner.main)) {
        KillTimer(runner.main, kScriptTimer);
    }
    runner.timed.clear();
    runner.idle.clear();
    runner.started = false;
    runner.main = nullptr;
    runner.period = 0;
    runner.shots = 0;
    runner.texts.reset();
}

}  // namespace platform::host
