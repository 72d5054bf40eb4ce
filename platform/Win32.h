#pragma once
// The Win32 declarations the program is written against. The host (Linux) build of the
// portable code sees only the few types that code uses.
#ifdef _WIN32
#include <winsock2.h> // before windows.h, which would bring in the older winsock.h
#include <windows.h>
#include <shellapi.h>
#else
#include <cstdint>
typedef int BOOL;
typedef std::uint8_t BYTE;
typedef std::uint32_t DWORD;
typedef unsigned int UINT;
typedef char* LPSTR;
typedef const char* LPCSTR;
#define TRUE 1
#define FALSE 0
#define WINAPI
#define WINAPIV
#endif
