#include "platform/kernel/msgbox.h"

#include <atomic>
#include <cstdio>
#include <deque>
#include <mutex>

#include "platform/kernel/text.h"

namespace platform {
namespace {

struct MessageBoxState {
    std::mutex lock;
    MessageBoxHandler handler;
    std::deque<int> script;
    std::deque<int> queued;  // for the next boxes, drawn or not
    std::vector<ShownMessageBox> shown;
};

MessageBoxState& State() {
    static MessageBoxState* state = new MessageBoxState;  // boxes may come from late threads
    return *state;
}

std::atomic<void (*)()> g_beforeBox{nullptr};

}  // namespace

void SetBeforeBoxHandler(void (*handler)()) {
    g_beforeBox.store(handler);
}

void RunBeforeBoxHandler() {
    if (void (*handler)() = g_beforeBox.load())
        handler();
}

std::vector<int> MessageBoxButtons(UINT type) {
    switch (type & MB_TYPEMASK) {
        case MB_OK:
            return {IDOK};
        case MB_OKCANCEL:
            return {IDOK, IDCANCEL};
        case MB_ABORTRETRYIGNORE:
            return {IDABORT, IDRETRY, IDIGNORE};
        case MB_YESNOCANCEL:
            return {IDYES, IDNO, IDCANCEL};
        case MB_YESNO:
            return {IDYES, IDNO};
        case MB_RETRYCANCEL:
            return {IDRETRY, IDCANCEL};
        default:
            return {};
    }
}

void SetMessageBoxHandler(MessageBoxHandler handler) {
    MessageBoxState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    state.handler = std::move(handler);
}

void ScriptMessageBoxAnswers(std::vector<int> answers) {
    MessageBoxState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    state.script.assign(answers.begin(), answers.end());
}

void QueueMessageBoxAnswer(int answer) {
    MessageBoxState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    state.queued.push_back(answer);
}

bool MessageBoxAnswerQueued() {
    MessageBoxState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    return !state.queued.empty();
}

std::vector<ShownMessageBox> ShownMessageBoxes() {
    MessageBoxState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    return state.shown;
}

void ClearMessageBoxes() {
    MessageBoxState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    state.shown.clear();
    state.script.clear();
    state.queued.clear();
}

int DefaultMessageBoxAnswer(UINT type) {
    std::vector<int> buttons = MessageBoxButtons(type);
    if (buttons.empty()) {
        return 0;
    }
    size_t index = (type & MB_DEFMASK) >> 8;
    return index < buttons.size() ? buttons[index] : buttons.front();
}

}  // namespace platform

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
    using namespace platform;
    int fallback = DefaultMessageBoxAnswer(type);
    if (fallback == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    RunBeforeBoxHandler();
    std::u16string body = text ? text : u"";
    // The platform titles a box without a caption "Error".
    std::u16string title = caption ? caption : u"Error";
    MessageBoxState& state = State();
    MessageBoxHandler handler;
    int answer = 0;
    {
        std::lock_guard<std::mutex> guard(state.lock);
        handler = state.handler;
        if (!state.queued.empty()) {
            handler = nullptr;  // answered without showing it
            answer = state.queued.front();
            state.queued.pop_front();
        } else if (!handler) {
            if (state.script.empty()) {
                answer = fallback;
            } else {
                answer = state.script.front();
                state.script.pop_front();
            }
        }
    }
    if (handler) {
        answer = handler(owner, body, title, type);
    } else {
        std::string line = WideToUtf8(title) + ": " + WideToUtf8(body) + "\n";
        std::fwrite(line.data(), 1, line.size(), stderr);
        std::fflush(stderr);
    }
    std::lock_guard<std::mutex> guard(state.lock);
    state.shown.push_back(ShownMessageBox{owner, title, body, type, answer});
    return answer;
}
