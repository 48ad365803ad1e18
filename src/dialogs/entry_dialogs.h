// The entry dialogs through which users give a job account ID and a user name.
#pragma once

#include <windows.h>

// Init record of the login-name dialog (templates 106 and 101); owned and zero-filled by the caller.
struct LoginNameRequest {
    int Kind;            // 0: login-name row, 1: name row (template 106); 2: no name row (template 101)
    char IDText[12];
    char UserName[81];
    char LoginName[256];
};

// Templates 100 (page) and 101 (popup); init parameter: a PROPSHEETPAGEA whose lParam is the JobAccountInfo.
INT_PTR CALLBACK JobAccountDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Template 107; init parameter as above.
INT_PTR CALLBACK ColorPasswordDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Templates 106 and 101; init parameter: a LoginNameRequest.
INT_PTR CALLBACK LoginNameDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// 1 when Everyone has, or now has, full access to the file; -1 on any failure.
int OpenAccountFileToEveryone(const char* path);
