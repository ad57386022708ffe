// The program's global objects, made once per start after the device root is
// known: the router with the interfaces it serves, the matcher's settings, the
// shared fix block and guidance.
#pragma once

// Makes what is not made yet; a second call does nothing.
void InstallProgramObjects();
// Undoes InstallProgramObjects at the program's end (the next start makes them anew).
void ReleaseProgramObjects();
