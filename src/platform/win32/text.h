// Text at the Windows backend's edges: the show speaks UTF-8, Windows'
// wide interfaces UTF-16, and the system's error messages come as codes.
#pragma once

#include <windows.h>

#include <string>

// UTF-8 to UTF-16 and back.
std::wstring widen(const std::string& text);
std::string narrow(const std::wstring& wide);

// The system's words for an error code (GetLastError's), on one line and
// without the closing full stop; "error N" when it has none.
std::string systemMessage(DWORD error);
