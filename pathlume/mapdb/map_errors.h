// How the map database reports a chunk it cannot read: a stop box with the caption
// "ERROR", then the main window is asked to close, which shuts the program down.
#pragma once

#include <string>

// Shows the (single-byte) text and posts WM_CLOSE to the main window.
void ReportMapReadError(const char* text);
// How many reports were made: the tools, which have no main window to close, end
// with a failure once a map they read was found damaged.
int MapReadErrorCount();
// The text of the last report, without its line end.
std::string LastMapReadError();
