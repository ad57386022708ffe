// The shell library: special folders, dialog and full-screen set-up, the input panel,
// shortcuts and the configuration manager's provisioning call.
//
// The screen has no taskbar or menu bar of the shell's own here: the work area a
// dialog is sized to is the whole screen, and SHFullScreen only records what the
// program asked to show and hide (platform::ShellFullScreenState) for a backend to
// honour. The input panel is a state too: a panel across the bottom of the screen
// that is up or down; when that changes, the active window gets
// WM_SETTINGCHANGE(SPI_SETSIPINFO), as on the handheld.
#pragma once

#include "platform/user/user.h"

// ---------------------------------------------------------------------------------
// Special folders

#define CSIDL_DESKTOP 0x0000
#define CSIDL_PROGRAMS 0x0002
#define CSIDL_PERSONAL 0x0005
#define CSIDL_FAVORITES 0x0006
#define CSIDL_STARTUP 0x0007
#define CSIDL_RECENT 0x0008
#define CSIDL_STARTMENU 0x000B
#define CSIDL_DESKTOPDIRECTORY 0x0010
#define CSIDL_FONTS 0x0014
#define CSIDL_APPDATA 0x001A
#define CSIDL_WINDOWS 0x0024
#define CSIDL_PROGRAM_FILES 0x0026

// The folder's path on the device (at most MAX_PATH characters with the terminator);
// with create, the folder is made when missing. FALSE for an unknown folder, or when
// it is missing and could not be made.
BOOL SHGetSpecialFolderPathW(HWND owner, LPWSTR path, int folder, BOOL create);
#define SHGetSpecialFolderPath SHGetSpecialFolderPathW

// ---------------------------------------------------------------------------------
// Full screen and dialog set-up

#define SHFS_SHOWTASKBAR 0x0001
#define SHFS_HIDETASKBAR 0x0002
#define SHFS_SHOWSIPBUTTON 0x0004
#define SHFS_HIDESIPBUTTON 0x0008
#define SHFS_SHOWSTARTICON 0x0010
#define SHFS_HIDESTARTICON 0x0020

// FALSE for a window that does not exist or for a show and hide of the same part.
BOOL SHFullScreen(HWND hwnd, DWORD state);

#define SHIDIM_FLAGS 0x0001

#define SHIDIF_DONEBUTTON 0x0001
#define SHIDIF_SIZEDLG 0x0002
#define SHIDIF_SIZEDLGFULLSCREEN 0x0004
#define SHIDIF_SIPDOWN 0x0008
#define SHIDIF_FULLSCREENNOMENUBAR 0x0010
#define SHIDIF_EMPTYMENU 0x0020
#define SHIDIF_WANTSCROLLBAR 0x0040

struct SHINITDLGINFO {
    DWORD dwMask;
    HWND hDlg;
    DWORD dwFlags;
};
typedef SHINITDLGINFO* PSHINITDLGINFO;

// The SHIDIF_SIZEDLG flags size the dialog to the work area (the whole screen);
// SHIDIF_DONEBUTTON gives its caption the OK button (WS_EX_CAPTIONOKBTN);
// SHIDIF_SIPDOWN lowers the input panel.
BOOL SHInitDialog(PSHINITDLGINFO info);

// The shell library's one-time start call a program makes before it makes its
// windows. There is nothing to set up here: it only succeeds.
BOOL SHInitExtraControls();

#define SHDB_SHOW 0x0001
#define SHDB_HIDE 0x0002
#define SHDB_SHOWCANCEL 0x0003

// Shows or hides the Done button of a window's title bar. The screen has no title
// bar of the shell's own here, so it changes nothing; FALSE for a window that does
// not exist.
BOOL SHDoneButton(HWND hwnd, DWORD state);

// ---------------------------------------------------------------------------------
// The input panel

#define SIPF_OFF 0x00000000
#define SIPF_ON 0x00000001
#define SIPF_DOCKED 0x00000002
#define SIPF_LOCKED 0x00000004

#define SPI_SETSIPINFO 224
#define SPI_GETSIPINFO 225

struct SIPINFO {
    DWORD cbSize;
    DWORD fdwFlags;
    RECT rcVisibleDesktop;  // the screen less the panel when it is up
    RECT rcSipRect;         // the panel
    DWORD dwImDataSize;
    void* pvImData;
};

enum SIPSTATE {
    SIP_UP = 0,
    SIP_DOWN = 1,
    SIP_FORCEDOWN = 2,
    SIP_UNCHANGED = 3,
    SIP_INPUTDIALOG = 4,
};

// Raises (SIPF_ON) or lowers (SIPF_OFF) the panel.
BOOL SipShowIM(DWORD flags);
// cbSize must be set; FALSE otherwise.
BOOL SipGetInfo(SIPINFO* info);
// SPI_GETSIPINFO fills a SIPINFO; SPI_SETSIPINFO raises or lowers the panel by the
// SIPF_ON flag of the SIPINFO given.
BOOL SHSipInfo(UINT action, UINT param, void* info, UINT winIni);
// The window's wish for the panel: SIP_UP raises it, SIP_DOWN and SIP_FORCEDOWN lower
// it, SIP_UNCHANGED and SIP_INPUTDIALOG leave it. FALSE for a window that does not
// exist.
BOOL SHSipPreference(HWND hwnd, SIPSTATE state);

// ---------------------------------------------------------------------------------
// Shortcuts

// Writes a shortcut file ("<length>#<target>", the handheld's form) to the target,
// replacing one that is there. The target is quoted when it holds a blank.
BOOL SHCreateShortcut(LPWSTR shortcut, LPWSTR target);
// The target of a shortcut file (quotes kept as written); FALSE when it cannot be
// read or is not a shortcut.
BOOL SHGetShortcutTarget(LPCWSTR shortcut, LPWSTR target, int maxChars);

// ---------------------------------------------------------------------------------
// Configuration manager

#define CFGFLAG_PROCESS 0x0001
#define CFGFLAG_METADATA 0x0002

// Takes a provisioning document (<wap-provisioningdoc> ... </wap-provisioningdoc> of
// characteristic and parm elements). With CFGFLAG_PROCESS the "Metabase"
// characteristic is applied: each characteristic in it (type = a path such as
// "RAPI\Windows\x.dll\*") becomes the device registry's key HKLM
// "Security\Metabase\PATH" with its parms as values (a decimal number as REG_DWORD,
// other text as REG_SZ); other characteristics are accepted as applied. The result
// document is a copy of the input for the caller to free with delete[]. E_INVALIDARG
// (and no result) for a document that is not well formed, E_FAIL when the registry
// could not be written.
HRESULT DMProcessConfigXML(LPCWSTR xmlIn, DWORD flags, LPWSTR* xmlOut);

namespace platform {

struct ShellFullScreen {
    bool taskBarShown = true;
    bool sipButtonShown = true;
    bool startIconShown = true;
    HWND window = nullptr;  // the window of the last SHFullScreen
};
ShellFullScreen ShellFullScreenState();

// Puts the input panel down and forgets the full-screen state, for tests.
void ResetShellState();

// The Bluetooth stack's tray program "\Windows\BTTrayCE.exe", a stand-in that
// ShellExecuteExW starts on a thread of the caller: its window of class
// "WCE_BTTRAY" takes WM_COMMAND 4098 (radio on: "StackMode" follows the host's
// adapter again, the radio being the desktop's), 4097 (radio off: "StackMode" 0)
// and message 0xC003 (a port of the stack is closing). Installing it again does
// nothing; StopBluetoothTray ends a running tray (tests, program end).
void InstallBluetoothTray();
void StopBluetoothTray();

}  // namespace platform
