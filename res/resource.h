// Every resource, command and control identifier of Pellamy and Pellamy Inbox, and the tray
// icons' callback message: the one place these numbers are written. Read by the C++ code and
// by the resource compiler (res/Pellamy.rc, res/Inbox.rc), so it holds #defines only.
#pragma once

// Pellamy's own identifiers.
#define IDD_ABOUTBOX        100     // the About box's dialog template
#define IDM_ABOUTBOX        100     // the About item the send dialog adds to its system menu
#define IDS_ABOUTBOX        101     // that item's text
#define IDD_SEND_DIALOG     102     // the send dialog's template
#define ID_SEND_DIALOG      102     // opens the send dialog (first item of the tray menu)
#define IDR_MAINFRAME       128     // application icon; the frame's menu, accelerators, title
#define IDR_TRAYMENU        130     // the tray menu; also the tray icon's uID
#define IDC_DESTINATION     1000
#define IDC_SEND            1001
#define IDC_MESSAGE         1007
#define ID_OPTION_1         32771   // frame commands on no menu
#define ID_OPTION_2         32772

// Pellamy Inbox's own identifiers (res/Inbox.rc).
#define IDR_INBOX           140     // its icon; its window's title
#define IDR_INBOX_TRAYMENU  141     // its tray menu; also its tray icon's uID
#define IDR_INBOX_NOT_RECEIVING 142 // its icon while the mailslot cannot be read
#define IDC_INBOX_TEXT      1100    // the window's text of the messages
#define IDC_INBOX_STATUS    1101    // the window's status line
#define ID_SHOW_MESSAGES    32780   // shows the window (first item of its tray menu)

// The callback message of either program's tray icon (WM_USER comes from <windows.h>).
#define WM_TRAYNOTIFY       (WM_USER + 10)

// The class library's standard identifiers that the resources use, under its names; those
// the library handles itself come from its own header.
#include "platform/AfxRes.h"

#define IDC_STATIC          (-1)    // a control that is never addressed

#define AFX_IDS_IDLEMESSAGE 0xE001  // the idle status prompt

#define ID_FILE_NEW         0xE100
#define ID_FILE_OPEN        0xE101
#define ID_FILE_CLOSE       0xE102
#define ID_FILE_SAVE        0xE103
#define ID_FILE_SAVE_AS     0xE104
#define ID_FILE_MRU_FILE1   0xE110

#define ID_EDIT_CLEAR       0xE120
#define ID_EDIT_CLEAR_ALL   0xE121
#define ID_EDIT_COPY        0xE122
#define ID_EDIT_CUT         0xE123
#define ID_EDIT_FIND        0xE124
#define ID_EDIT_PASTE       0xE125
#define ID_EDIT_REPEAT      0xE128
#define ID_EDIT_REPLACE     0xE129
#define ID_EDIT_SELECT_ALL  0xE12A
#define ID_EDIT_UNDO        0xE12B
#define ID_EDIT_REDO        0xE12C

#define ID_WINDOW_SPLIT     0xE135

#define ID_APP_ABOUT        0xE140

#define ID_NEXT_PANE        0xE150
#define ID_PREV_PANE        0xE151

#define ID_INDICATOR_EXT    0xE700  // status bar indicators
#define ID_INDICATOR_CAPS   0xE701
#define ID_INDICATOR_NUM    0xE702
#define ID_INDICATOR_SCRL   0xE703
#define ID_INDICATOR_OVR    0xE704
#define ID_INDICATOR_REC    0xE705

#define AFX_IDS_SCSIZE       0xEF00 // prompts of the system commands
#define AFX_IDS_SCMOVE       0xEF01
#define AFX_IDS_SCMINIMIZE   0xEF02
#define AFX_IDS_SCMAXIMIZE   0xEF03
#define AFX_IDS_SCNEXTWINDOW 0xEF04
#define AFX_IDS_SCPREVWINDOW 0xEF05
#define AFX_IDS_SCCLOSE      0xEF06
#define AFX_IDS_SCRESTORE    0xEF12
#define AFX_IDS_SCTASKLIST   0xEF13
