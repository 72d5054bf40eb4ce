#pragma once
// Every Winsock, IP Helper and NetApi call goes through this table, as the other Win32 calls
// go through Win32Api: a test replaces single entries with ScopedOverride. Their libraries are
// not imported: the table loads them from the system folder at its first use, so that a
// program starts without them (Pellamy sends on the wire only when Windows refuses) and still
// starts where one of the functions is missing (that entry is null then).
#include "platform/Win32.h"
#include "platform/Win32Api.h"

#include <iphlpapi.h>
#include <lm.h>
#include <ws2tcpip.h>

struct NetworkApi {
    // ws2_32.dll
    decltype(&::WSAStartup) WSAStartup;
    decltype(&::WSACleanup) WSACleanup;
    decltype(&::WSAGetLastError) WSAGetLastError;
    decltype(&::socket) socket;
    decltype(&::closesocket) closesocket;
    decltype(&::setsockopt) setsockopt;
    decltype(&::ioctlsocket) ioctlsocket;
    decltype(&::bind) bind;
    decltype(&::connect) connect;
    decltype(&::getsockname) getsockname;
    decltype(&::sendto) sendto;
    decltype(&::recvfrom) recvfrom;
    decltype(&::select) select;
    decltype(&::getaddrinfo) getaddrinfo; // Windows XP on
    decltype(&::freeaddrinfo) freeaddrinfo;
    // iphlpapi.dll, Windows XP on
    decltype(&::GetAdaptersAddresses) GetAdaptersAddresses;
    // netapi32.dll
    decltype(&::NetGetJoinInformation) NetGetJoinInformation;
    decltype(&::NetApiBufferFree) NetApiBufferFree;
};

// The table, its libraries loaded at the first call.
NetworkApi& Network();
