// How the map database reports a chunk it cannot read: a stop box with the caption
// "ERROR", then the main window is asked to close, which shuts the program down.
#pragma once

// Shows the (single-byte) text and posts WM_CLOSE to the main window.
void ReportMapReadError(const char* text);
