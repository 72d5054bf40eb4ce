#pragma once
// The class library's own identifiers: the standard command and string it handles itself,
// and its frame style. Plain #defines, so that the resource compiler reads them too
// (res/resource.h includes this file).
#define AFX_IDS_APP_TITLE 0xE000 // the application title
#define ID_APP_EXIT 0xE141       // closes the main window
#define FWS_ADDTOTITLE 0x00008000L // frame style: the title carries the document's name
