#pragma once
// The host program's start-up of the class library's forms and the skin engine,
// apart from WinMain so tests can start a process the way the program does.
#include <windows.h>

// Starts the forms unit and the skin engine's unit (and every unit registered since
// the logger's), the skin component's Windows side with `instance`'s bitmaps, the skin engine's message box
// (the "older skin" message of a skin set through SkinFile) and the hint manager.
// Needs the logger's units started first when the program has them. Throws the
// class library's exceptions.
void StartHostServices(HINSTANCE instance);
