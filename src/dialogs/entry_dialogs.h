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

// Sets the account file's access list after the page stored its entries: the shared file (a bare
// name) opened to everyone, a file in a user's profile kept to that user, the system and the
// administrators. 1 when the list is (now) so; -1 on any failure, among them a file that is not
// the calling user's own or the shared one, or that is a link.
int SetAccountFileAccess(const char* path);
