// The system message box. Every box goes through one handler: the window system
// installs the real, visible box; without one (headless, the default) a box is
// answered from a script that tests set, written to stderr and recorded, so that a
// program never waits on a box nobody can see.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/kernel/wintypes.h"

// Buttons.
#define MB_OK 0x00000000
#define MB_OKCANCEL 0x00000001
#define MB_ABORTRETRYIGNORE 0x00000002
#define MB_YESNOCANCEL 0x00000003
#define MB_YESNO 0x00000004
#define MB_RETRYCANCEL 0x00000005
#define MB_TYPEMASK 0x0000000F
// Icons.
#define MB_ICONHAND 0x00000010
#define MB_ICONQUESTION 0x00000020
#define MB_ICONEXCLAMATION 0x00000030
#define MB_ICONASTERISK 0x00000040
#define MB_ICONSTOP MB_ICONHAND
#define MB_ICONERROR MB_ICONHAND
#define MB_ICONWARNING MB_ICONEXCLAMATION
#define MB_ICONINFORMATION MB_ICONASTERISK
#define MB_ICONMASK 0x000000F0
// Default button.
#define MB_DEFBUTTON1 0x00000000
#define MB_DEFBUTTON2 0x00000100
#define MB_DEFBUTTON3 0x00000200
#define MB_DEFBUTTON4 0x00000300
#define MB_DEFMASK 0x00000F00
// Modality and placement.
#define MB_APPLMODAL 0x00000000
#define MB_SYSTEMMODAL 0x00001000
#define MB_TASKMODAL 0x00002000
#define MB_MODEMASK 0x00003000
#define MB_SETFOREGROUND 0x00010000
#define MB_TOPMOST 0x00040000
#define MB_RIGHT 0x00080000
#define MB_RTLREADING 0x00100000

// Results (also the ids of the standard dialog buttons).
#define IDOK 1
#define IDCANCEL 2
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5
#define IDYES 6
#define IDNO 7

// Shows a box and returns the id of the button chosen; 0 (with
// ERROR_INVALID_PARAMETER) for an unknown button set.
int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);

namespace platform {

// The real box. It is called on the calling thread, outside every kernel lock, and
// returns the id of the button chosen.
using MessageBoxHandler = std::function<int(HWND owner, const std::u16string& text,
                                            const std::u16string& caption, UINT type)>;
// Installs the handler; an empty function returns to the headless box.
void SetMessageBoxHandler(MessageBoxHandler handler);

// Runs before a message box or a file dialog decides how it is shown: a window still
// opening is waited for, so that the box is drawn in it. Null: nothing to wait for.
void SetBeforeBoxHandler(void (*handler)());
void RunBeforeBoxHandler();

// The headless box takes its answers from this queue, one per box, in order; with
// the queue empty it answers the box's default button. Replaces any answers left.
void ScriptMessageBoxAnswers(std::vector<int> answers);

// Answers the next box, drawn or not, with this button before anything else would
// (scripted runs); answers queue up in order. ClearMessageBoxes forgets them.
void QueueMessageBoxAnswer(int answer);
// Whether an answer waits for the next box. A box the program draws itself goes
// through MessageBoxW (which answers it without showing it) when one waits or when
// no box is drawn (platform::IsDrawnMessageBox in platform/user).
bool MessageBoxAnswerQueued();

struct ShownMessageBox {
    HWND owner;
    std::u16string caption;
    std::u16string text;
    UINT type;
    int answer;
};
// Every box shown since the last ClearMessageBoxes, oldest first.
std::vector<ShownMessageBox> ShownMessageBoxes();
// Forgets the boxes shown and the answers still scripted.
void ClearMessageBoxes();

// The buttons of a box of this type, left to right; empty for an unknown button set.
std::vector<int> MessageBoxButtons(UINT type);

// The button a box of this type answers when nobody chooses: the MB_DEFBUTTONn
// button when the box has that many, else its first; 0 for an unknown button set.
int DefaultMessageBoxAnswer(UINT type);

}  // namespace platform
