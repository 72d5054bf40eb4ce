#include "platform/NetworkApi.h"

#include <cwchar>

namespace {

// From the system folder only: a library of the same name beside the program, or in the
// current folder, is not taken.
HMODULE LoadSystemLibrary(const wchar_t* name)
{
    wchar_t path[MAX_PATH];
    const UINT length = GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0 || length + 1 + std::wcslen(name) >= MAX_PATH)
        return nullptr;
    path[length] = L'\\';
    std::wcscpy(path + length + 1, name);
    return LoadLibraryW(path);
}

template <class Fn>
void Find(Fn& entry, HMODULE library, const char* name)
{
    entry = library ? reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(library, name))) : nullptr;
}

NetworkApi Load()
{
    NetworkApi api;
#define PELLAMY_FIND(library, name) Find(api.name, library, #name)
    const HMODULE winsock = LoadSystemLibrary(L"ws2_32.dll");
    PELLAMY_FIND(winsock, WSAStartup);
    PELLAMY_FIND(winsock, WSACleanup);
    PELLAMY_FIND(winsock, WSAGetLastError);
    PELLAMY_FIND(winsock, socket);
    PELLAMY_FIND(winsock, closesocket);
    PELLAMY_FIND(winsock, setsockopt);
    PELLAMY_FIND(winsock, ioctlsocket);
    PELLAMY_FIND(winsock, bind);
    PELLAMY_FIND(winsock, connect);
    PELLAMY_FIND(winsock, getsockname);
    PELLAMY_FIND(winsock, sendto);
    PELLAMY_FIND(winsock, recvfrom);
    PELLAMY_FIND(winsock, select);
    PELLAMY_FIND(winsock, getaddrinfo);
    PELLAMY_FIND(winsock, freeaddrinfo);
    PELLAMY_FIND(LoadSystemLibrary(L"iphlpapi.dll"), GetAdaptersAddresses);
    const HMODULE netapi = LoadSystemLibrary(L"netapi32.dll");
    PELLAMY_FIND(netapi, NetGetJoinInformation);
    PELLAMY_FIND(netapi, NetApiBufferFree);
#undef PELLAMY_FIND
    return api;
}

} // namespace

NetworkApi& Network()
{
    static NetworkApi api = Load();
    return api;
}
