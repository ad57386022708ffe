// Scripted runs: reading the script, and running it on the user-interface thread
// (a timer on the main window, and the thread's first idle moment), so that every
// action and every shot falls between two messages.
#include "platform/host/script.h"
#include "platform/user/tab_control.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>

namespace platform::host {
namespace {

// The script's timer on the main window; far from the ids programs use.
constexpr UINT_PTR kScriptTimer = 0x5C7A1;
// How often the screen's texts are looked at while a `when` line waits.
constexpr uint64_t kTextPollMs = 50;

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
    if (verb == "command" || verb == "answer" || verb == "press") {
        if (!ParseNumber(NextWord(&rest), 0xFFFF, &value) || value == 0) {
            return verb + " needs an id from 1 to 65535";
        }
        action->kind = verb == "command" ? Kind::Command
                       : verb == "press" ? Kind::Press
                                         : Kind::Answer;
        action->value = static_cast<UINT>(value);
        return noMore();
    }
    if (verb == "pick") {
        if (!ParseNumber(NextWord(&rest), 0xFFFF, &value) || value == 0 || rest.empty()) {
            return "pick needs an id from 1 to 65535 and an item's text or a position";
        }
        action->kind = Kind::Pick;
        action->value = static_cast<UINT>(value);
        action->choice = Utf8ToWide(rest);
        return std::nullopt;
    }
    if (verb == "hold") {
        uint64_t x = 0;
        uint64_t y = 0;
        if (!ParseNumber(NextWord(&rest), static_cast<uint64_t>(width - 1), &x) ||
            !ParseNumber(NextWord(&rest), static_cast<uint64_t>(height - 1), &y) ||
            !ParseNumber(NextWord(&rest), 24ull * 3600 * 1000, &value) || value == 0) {
            return "hold needs X Y MS on the " + std::to_string(width) + "x" +
                   std::to_string(height) + " screen";
        }
        action->kind = Kind::Hold;
        action->point = POINT{static_cast<LONG>(x), static_cast<LONG>(y)};
        action->period = value;
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

// A `when` line: armed once the line before it ran, then watching the screen's texts.
struct TextWait {
    ScriptLine line;
    int after = -1;  // the index of the line before it; -1: the start
    bool armed = false;
    uint64_t armedAt = 0;
    std::unique_ptr<ScreenTextLog> log;
};

struct Runner {
    std::mutex lock;
    std::vector<ScriptLine> timed;  // At lines, by time, then in file order
    std::vector<ScriptLine> idle;
    std::vector<TextWait> waits;
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

// The window in front: the active window (a dialog while one runs), else the main one.
HWND Front(const Runner& runner) {
    HWND front = GetActiveWindow();
    return front ? front : Target(runner);
}

void ScheduleLocked(Runner& runner);

// Arms the `when` lines that wait for line `index`. Call with the runner's lock held.
void ArmAfterLocked(Runner& runner, int index) {
    for (TextWait& wait : runner.waits) {
        if (!wait.armed && wait.after == index) {
            wait.armed = true;
            wait.armedAt = ClockMilliseconds();
            wait.log = std::make_unique<ScreenTextLog>();
        }
    }
}

std::u16string Trimmed(std::u16string_view text) {
    const size_t first = text.find_first_not_of(u" \t");
    if (first == std::u16string_view::npos)
        return {};
    const size_t last = text.find_last_not_of(u" \t");
    return std::u16string(text.substr(first, last - first + 1));
}

bool BeginsWith(std::u16string_view item, const std::u16string& choice) {
    const std::u16string trimmed = Trimmed(item);
    return trimmed.size() >= choice.size() && trimmed.compare(0, choice.size(), choice) == 0;
}

// The control of that id inside the window, at any depth.
HWND FindControl(HWND window, int id) {
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (GetDlgCtrlID(child) == id && IsWindowVisible(child))
            return child;
        if (HWND inner = FindControl(child, id))
            return inner;
    }
    return nullptr;
}

void NotifyParentCommand(HWND control, int code) {
    SendMessageW(GetParent(control), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), code),
                 reinterpret_cast<LPARAM>(control));
}

bool PickComboItem(HWND combo, const std::u16string& choice) {
    // A click opens the list (the owner may fill it then), picks and closes it.
    NotifyParentCommand(combo, CBN_DROPDOWN);
    const int count = static_cast<int>(SendMessageW(combo, CB_GETCOUNT, 0, 0));
    for (int index = 0; index < count; ++index) {
        WCHAR text[512] = {};
        if (SendMessageW(combo, CB_GETLBTEXTLEN, index, 0) >= 511)
            continue;
        SendMessageW(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text));
        if (!BeginsWith(text, choice))
            continue;
        SendMessageW(combo, CB_SETCURSEL, index, 0);
        NotifyParentCommand(combo, CBN_SELENDOK);
        NotifyParentCommand(combo, CBN_CLOSEUP);
        NotifyParentCommand(combo, CBN_SELCHANGE);
        return true;
    }
    NotifyParentCommand(combo, CBN_CLOSEUP);
    return false;
}

bool PickListItem(HWND list, const std::u16string& choice) {
    const int count = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
    for (int index = 0; index < count; ++index) {
        WCHAR text[512] = {};
        if (SendMessageW(list, LB_GETTEXTLEN, index, 0) >= 511)
            continue;
        SendMessageW(list, LB_GETTEXT, index, reinterpret_cast<LPARAM>(text));
        if (!BeginsWith(text, choice))
            continue;
        SendMessageW(list, LB_SETCURSEL, index, 0);
        NotifyParentCommand(list, LBN_SELCHANGE);
        return true;
    }
    return false;
}

// "Parent/Child": a click on the item's state image.
bool PickTreeItem(HWND tree, const std::u16string& path) {
    HTREEITEM item = nullptr;
    HTREEITEM level =
        reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
    size_t start = 0;
    while (start <= path.size()) {
        const size_t slash = path.find(u'/', start);
        const std::u16string part = Trimmed(std::u16string_view(path).substr(
            start, slash == std::u16string::npos ? std::u16string::npos : slash - start));
        item = nullptr;
        for (HTREEITEM at = level; at;
             at = reinterpret_cast<HTREEITEM>(
                 SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(at)))) {
            WCHAR text[512] = {};
            TVITEMW query{};
            query.mask = TVIF_TEXT;
            query.hItem = at;
            query.pszText = text;
            query.cchTextMax = 511;
            SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&query));
            if (Trimmed(text) == part) {
                item = at;
                break;
            }
        }
        if (!item)
            return false;
        if (slash == std::u16string::npos)
            break;
        SendMessageW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item));
        level = reinterpret_cast<HTREEITEM>(
            SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(item)));
        start = slash + 1;
    }
    SendMessageW(tree, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(item));
    // TVM_GETITEMRECT takes the item in the rectangle it fills.
    RECT label{};
    std::memcpy(&label, &item, sizeof item);
    if (!SendMessageW(tree, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&label)))
        return false;
    // The state image lies just before the label.
    const LPARAM at = MAKELPARAM(label.left - 8, (label.top + label.bottom) / 2);
    SendMessageW(tree, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(tree, WM_LBUTTONUP, 0, at);
    return true;
}

bool PickTrackbarPosition(HWND trackbar, const std::u16string& choice) {
    uint64_t position = 0;
    if (!ParseNumber(WideToUtf8(Trimmed(choice)), 0x7FFF, &position))
        return false;
    SendMessageW(trackbar, TBM_SETPOS, TRUE, static_cast<LPARAM>(position));
    SendMessageW(GetParent(trackbar), WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, position),
                 reinterpret_cast<LPARAM>(trackbar));
    SendMessageW(GetParent(trackbar), WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, position),
                 reinterpret_cast<LPARAM>(trackbar));
    return true;
}

// A tap on the tab, so the control tells its parent as for any tap.
bool PickTab(HWND tabs, const std::u16string& choice) {
    const int count = static_cast<int>(SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0));
    for (int index = 0; index < count; ++index) {
        WCHAR text[512] = {};
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = text;
        item.cchTextMax = 511;
        RECT rect{};
        if (!SendMessageW(tabs, TCM_GETITEMW, index, reinterpret_cast<LPARAM>(&item)) ||
            !BeginsWith(text, choice) ||
            !SendMessageW(tabs, TCM_GETITEMRECT, index, reinterpret_cast<LPARAM>(&rect)))
            continue;
        POINT centre{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
        // A tab drawn past the control's edge cannot be tapped: not found.
        RECT client{};
        GetClientRect(tabs, &client);
        if (!PtInRect(&client, centre))
            return false;
        ClientToScreen(tabs, &centre);
        PostTap(centre);
        return true;
    }
    return false;
}

// A user's choice in control `id` of the window in front.
bool Pick(HWND front, int id, const std::u16string& choice) {
    HWND control = front ? FindControl(front, id) : nullptr;
    if (!control)
        return false;
    WCHAR className[64] = {};
    GetClassNameW(control, className, 64);
    const std::u16string kind = className;
    const std::u16string wanted = Trimmed(choice);
    if (kind == WC_COMBOBOX)
        return PickComboItem(control, wanted);
    if (kind == u"ListBox")
        return PickListItem(control, wanted);
    if (kind == WC_TREEVIEW)
        return PickTreeItem(control, wanted);
    if (kind == TRACKBAR_CLASS)
        return PickTrackbarPosition(control, wanted);
    if (kind == WC_TABCONTROL)
        return PickTab(control, wanted);
    return false;
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
        case Kind::Press: {
            HWND front = Front(runner);
            PostMessageW(
                front, WM_COMMAND, MAKEWPARAM(action.value, BN_CLICKED),
                reinterpret_cast<LPARAM>(GetDlgItem(front, static_cast<int>(action.value))));
            break;
        }
        case Kind::Hold: {
            PostPointerDown(action.point);
            std::lock_guard<std::mutex> guard(runner.lock);
            ScriptLine release;
            release.at = ClockMilliseconds() + action.period - runner.origin;
            release.action.kind = Kind::Release;
            release.action.point = action.point;
            release.number = -1;
            release.index = -2;  // no line of the script: arms nothing
            auto at = std::upper_bound(
                runner.timed.begin(), runner.timed.end(), release,
                [](const ScriptLine& a, const ScriptLine& b) { return a.at < b.at; });
            runner.timed.insert(at, std::move(release));
            ScheduleLocked(runner);
            break;
        }
        case Kind::Release:
            PostPointerUp(action.point);
            break;
        case Kind::Pick:
            if (!Pick(Front(runner), static_cast<int>(action.value), action.choice)) {
                std::fprintf(stderr, "PATHLUME_SCRIPT: pick %u: no control or item \"%s\"\n",
                             action.value, WideToUtf8(action.choice).c_str());
                ExitProcess(2);
            }
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

// Runs a line of the script: the `when` lines waiting for it start watching first.
void RunLine(const ScriptLine& line) {
    Runner& runner = TheRunner();
    {
        std::lock_guard<std::mutex> guard(runner.lock);
        ArmAfterLocked(runner, line.index);
        ScheduleLocked(runner);
    }
    Act(line.action);
}

// The `when` lines whose text reached the screen, in file order; ends the run when
// one waited too long. Call without the runner's lock.
std::vector<ScriptLine> TextsSeen(Runner& runner) {
    std::vector<ScriptLine> seen;
    std::string late;
    {
        std::lock_guard<std::mutex> guard(runner.lock);
        const uint64_t now = ClockMilliseconds();
        for (auto it = runner.waits.begin(); it != runner.waits.end();) {
            if (!it->armed) {
                ++it;
                continue;
            }
            bool found = false;
            for (const DrawnText& text : it->log->Take()) {
                found = found || text.text.find(it->line.text) != std::u16string::npos;
            }
            if (found) {
                seen.push_back(std::move(it->line));
                it = runner.waits.erase(it);
                continue;
            }
            if (now - it->armedAt >= kScriptTextWaitMs && late.empty()) {
                late = "line " + std::to_string(it->line.number) + ": \"" +
                       WideToUtf8(it->line.text) + "\" did not reach the screen in " +
                       std::to_string(kScriptTextWaitMs / 1000) + " s";
            }
            ++it;
        }
    }
    if (!late.empty()) {
        std::fprintf(stderr, "PATHLUME_SCRIPT: %s\n", late.c_str());
        ExitProcess(2);
    }
    return seen;
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
    for (const TextWait& wait : runner.waits) {
        if (wait.armed) {
            due = std::min(due, now + kTextPollMs);
        }
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
    std::vector<ScriptLine> lines;
    bool shot = false;
    {
        std::lock_guard<std::mutex> guard(runner.lock);
        const uint64_t now = ClockMilliseconds();
        auto due =
            std::find_if(runner.timed.begin(), runner.timed.end(),
                         [&](const ScriptLine& line) { return runner.origin + line.at > now; });
        for (auto it = runner.timed.begin(); it != due; ++it) {
            lines.push_back(*it);
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
    for (const ScriptLine& line : lines) {
        RunLine(line);
    }
    // A text seen arms the next `when` line, whose text may already be there too.
    for (std::vector<ScriptLine> seen = TextsSeen(runner); !seen.empty();
         seen = TextsSeen(runner)) {
        for (const ScriptLine& line : seen) {
            RunLine(line);
        }
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
        RunLine(line);
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
    ArmAfterLocked(runner, -1);
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
        } else if (first == "when") {
            std::string text;
            if (!copy.empty() && copy[0] == '"') {
                const size_t close = copy.find('"', 1);
                if (close != std::string::npos) {
                    text = copy.substr(1, close - 1);
                    copy = Trim(copy.substr(close + 1));
                }
            } else {
                text = NextWord(&copy);
            }
            if (text.empty()) {
                *error = file.string() + ":" + std::to_string(number) +
                         ": when needs TEXT (a word or \"quoted text\") and an ACTION";
                return std::nullopt;
            }
            line.when = ScriptLine::When::Text;
            line.text = Utf8ToWide(text);
            rest = copy;
        }
        if (std::optional<std::string> problem =
                ParseAction(rest, screenWidth, screenHeight, &line.action)) {
            *error = file.string() + ":" + std::to_string(number) + ": " + *problem;
            return std::nullopt;
        }
        line.index = static_cast<int>(lines.size());
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
    std::vector<ScriptLine> now;
    {
        std::lock_guard<std::mutex> guard(runner.lock);
        for (ScriptLine& line : lines) {
            using Kind = ScriptAction::Kind;
            const Kind kind = line.action.kind;
            if (kind == Kind::Every && !runner.texts) {
                // The first shot lists what was drawn since the start.
                runner.texts = std::make_unique<ScreenTextLog>();
            }
            if (line.when == ScriptLine::When::Text) {
                TextWait wait;
                wait.after = line.index - 1;
                wait.line = std::move(line);
                runner.waits.push_back(std::move(wait));
            } else if (line.when == ScriptLine::When::Start &&
                       (kind == Kind::Answer || kind == Kind::File)) {
                now.push_back(line);  // waits for the box or dialog it answers
            } else if (line.when == ScriptLine::When::Idle) {
                runner.idle.push_back(std::move(line));
            } else {
                runner.timed.push_back(std::move(line));  // a plain line runs at 0
            }
        }
        std::stable_sort(runner.timed.begin(), runner.timed.end(),
                         [](const ScriptLine& a, const ScriptLine& b) { return a.at < b.at; });
    }
    for (const ScriptLine& line : now) {
        RunLine(line);
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
    runner.waits.clear();
    runner.started = false;
    runner.main = nullptr;
    runner.period = 0;
    runner.shots = 0;
    runner.texts.reset();
}

}  // namespace platform::host
