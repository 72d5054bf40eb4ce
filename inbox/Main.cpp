#include "inbox/InboxApp.h"

// The one application object, built before WinMain runs.
CInboxApp g_inboxApp;

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand)
{
    return AfxWinMain(instance, previous, commandLine, showCommand);
}
