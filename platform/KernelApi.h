#pragma once
// The kernel's calls of the programs that send on the wire (the sending core over Winsock, the
// text in code pages), through a table of their own, as the window programs' go through
// Win32Api's: a test replaces single entries with ScopedOverride. A table apart, so that
// pellamy-send.exe links none of the window system's libraries, which would slow its start;
// its console's calls have a table of their own (console/Console.h).
#include "platform/Win32Api.h"

struct KernelApi {
    // Text between code pages, and the system's words for an error
    decltype(&::MultiByteToWideChar) MultiByteToWideChar;
    decltype(&::WideCharToMultiByte) WideCharToMultiByte;
    decltype(&::LCMapStringW) LCMapStringW;
    decltype(&::FormatMessageW) FormatMessageW;
    // A clock, a thread for a lookup, its handle, errors
    decltype(&::QueryPerformanceFrequency) QueryPerformanceFrequency;
    decltype(&::QueryPerformanceCounter) QueryPerformanceCounter;
    decltype(&::CreateThread) CreateThread;
    decltype(&::WaitForSingleObject) WaitForSingleObject;
    decltype(&::CloseHandle) CloseHandle;
    decltype(&::GetLastError) GetLastError;
    decltype(&::GetCurrentProcessId) GetCurrentProcessId;
};

KernelApi& Kernel();
