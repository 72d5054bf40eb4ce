#include "platform/KernelApi.h"

KernelApi& Kernel()
{
    static KernelApi api = {
        ::MultiByteToWideChar, ::WideCharToMultiByte, ::LCMapStringW, ::FormatMessageW,
        ::QueryPerformanceFrequency, ::QueryPerformanceCounter, ::CreateThread, ::WaitForSingleObject, ::CloseHandle,
        ::GetLastError, ::GetCurrentProcessId,
    };
    return api;
}
