// Driving a modal dialog from the test thread: a thread timer, dispatched by the dialog's own
// modal loop, runs one step per tick against the thread's active (enabled) dialog window, which
// is a message box while one is shown.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

using Step = std::function<void(HWND)>;

// Opens template `templateId` of `module` with `proc` and runs the steps; a window still open 40
// ticks after the last step is ended with -2 and fails the test (and sets *stuck). A modal loop
// that ends before every step ran fails the test too.
INT_PTR RunDialog(HMODULE module, int templateId, DLGPROC proc, LPARAM init, std::vector<Step> steps,
                  bool* stuck = nullptr);
// Runs the steps against whatever modal loop `open` starts on this thread (an export, a sheet).
INT_PTR RunScript(const std::function<INT_PTR()>& open, std::vector<Step> steps, bool* stuck = nullptr);

// The thread's visible, enabled dialog window: the dialog, or a message box over it.
HWND ActiveDialog();

// Called from a step: run the same step again on the next tick, as a wait for what the step needs
// (a window that is still opening, a selection that is still moving), told in `waitingFor` when
// the wait fails. A step may wait a minute.
void RepeatThisStep(const std::string& waitingFor);

std::string ItemText(HWND dialog, int id);

// What a window's own procedure answers, called straight as the system calls it: the dialog
// procedure of a dialog, the window procedure of a control. *escaped tells whether an exception left
// the procedure instead; the test program catches one where the unwinder reaches it (x64), where a
// 32-bit process ends as its host would.
INT_PTR DialogProcedureAnswer(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam, bool* escaped);
LRESULT WindowProcedureAnswer(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool* escaped);

Step SetText(int id, std::string text);
// Types (or pastes) at the end of the edit's text.
Step TypeText(int id, std::string text);
Step Press(int id);
// Sets a check box as a click would: a hidden one cannot be clicked.
Step Check(int id, bool on);
Step Inspect(std::function<void(HWND)> look);
// Expects a message box captioned with the module's AppName as the active window, records its text
// and closes it with OK.
Step ExpectErrorBox(std::vector<std::string>* seen);
