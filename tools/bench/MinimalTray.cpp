// The least a tray program does to start: one hidden window and one notification icon whose
// callback it answers. tools/bench.sh times Pellamy's start-up against it; it answers the
// callback and Exit the way Pellamy does, so that the same driver runs both.
#include <windows.h>
#include <shellapi.h>

#include "res/resource.h"

namespace {

NOTIFYICONDATAA g_icon;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_TRAYNOTIFY:
        return wParam == IDR_TRAYMENU;
    case WM_COMMAND:
        if (LOWORD(wParam) == ID_APP_EXIT)
            DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        Shell_NotifyIconA(NIM_DELETE, &g_icon);
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = "MinimalTray";
    if (!RegisterClassA(&windowClass))
        return 1;
    const HWND window = CreateWindowA("MinimalTray", "MinimalTray", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                      CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
    if (!window)
        return 1;
    g_icon.cbSize = NOTIFYICONDATAA_V1_SIZE;
    g_icon.hWnd = window;
    g_icon.uID = IDR_TRAYMENU;
    g_icon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    g_icon.uCallbackMessage = WM_TRAYNOTIFY;
    g_icon.hIcon = static_cast<HICON>(LoadImageA(nullptr, IDI_APPLICATION, IMAGE_ICON, 16, 16, LR_SHARED));
    lstrcpyA(g_icon.szTip, "MinimalTray");
    if (!Shell_NotifyIconA(NIM_ADD, &g_icon)) {
        DestroyWindow(window);
        return 1;
    }
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}
