#pragma once
// Resources of the class library's tests.
#include "platform/AfxRes.h"

#define IDR_TESTFRAME 200
#define IDD_TESTDIALOG 300
#define IDC_TESTEDIT 1000
#define IDC_TESTBUTTON 1001
#define ID_TEST_FRAME_COMMAND 40001
#define ID_TEST_APP_COMMAND 40002
#define ID_TEST_NOBODY 40003
