#pragma once
// Host-build stand-ins for the Windows text operations, so that the path and datagram code
// can run natively under sanitizers and fuzzers.
#include "platform/Win32.h"

// Formats like wsprintfA, which writes at most 1,024 bytes including the NUL.
int HostWsprintfA(LPSTR buffer, LPCSTR format, ...);

// Converts like CharToOemBuffA with the ANSI code page 1252 and the OEM code page 437.
BOOL HostCharToOemBuffA(LPCSTR source, LPSTR destination, DWORD length);

// Converts like OemToCharBuffA with the same two code pages; source and destination may be
// the same buffer.
BOOL HostOemToCharBuffA(LPCSTR source, LPSTR destination, DWORD length);

// What Windows makes of the bytes 0x80-0xFF of code page 1252 in code page 437, best-fit
// replacements included; bytes below 0x80 are unchanged.
extern const BYTE kAnsiToOem437[128];
// The other way: the bytes 0x80-0xFF of code page 437 in code page 1252.
extern const BYTE kOem437ToAnsi[128];
