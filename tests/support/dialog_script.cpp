#include "dialog_script.h"

#include <gtest/gtest.h>

#include <cstring>

#include "settings/module_state.h"

namespace {

struct Script {
    std::vector<Step> steps;
    size_t next = 0;
    int idleTicks = 0;
    bool stuck = false;
    bool running = false;
    bool repeat = false;
    int repeats = 0;
    std::string waitingFor;
};

Script* CurrentScript = nullptr;

BOOL CALLBACK FindActive(HWND window, LPARAM found)
{
    char className[16] = {};
    GetClassNameA(window, className, sizeof className);
    if (strcmp(className, "#32770") == 0 && IsWindowVisible(window) && IsWindowEnabled(window)) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD)
{
    Script* script = CurrentScript;
    if (!script || script->running)
        return;
    HWND dialog = ActiveDialog();
    if (!dialog)
        return;
    script->running = true;
    if (script->next < script->steps.size()) {
        Step step = script->steps[script->next++];
        script->repeat = false;
        step(dialog);
        // A loaded machine may take seconds to open a system dialog; a minute is in vain.
        if (script->repeat && ++script->repeats <= 3000) {
            --script->next;
        } else {
            EXPECT_FALSE(script->repeat) << "step " << script->next << " waited a minute in vain: "
                                         << script->waitingFor;
            script->repeats = 0;
        }
    } else if (++script->idleTicks > 40) {
        // The script is done but a window is still open: close it so that the test can fail.
        script->stuck = true;
        EndDialog(dialog, -2);
    }
    script->running = false;
}

}  // namespace

HWND ActiveDialog()
{
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindActive, reinterpret_cast<LPARAM>(&found));
    return found;
}

INT_PTR RunScript(const std::function<INT_PTR()>& open, std::vector<Step> steps, bool* stuck)
{
    Script script;
    script.steps = std::move(steps);
    CurrentScript = &script;
    UINT_PTR timer = SetTimer(nullptr, 0, 20, Tick);
    INT_PTR result = open();
    KillTimer(nullptr, timer);
    CurrentScript = nullptr;
    if (stuck)
        *stuck = script.stuck;
    EXPECT_FALSE(script.stuck) << "a window stayed open after the script ended";
    // A dialog that closes early skips the checks of the steps after it: that is a failure too.
    EXPECT_EQ(script.next, script.steps.size())
        << "the modal loop ended before step " << script.next + 1 << " of " << script.steps.size() << " ran";
    return result;
}

INT_PTR RunDialog(HMODULE module, int templateId, DLGPROC proc, LPARAM init, std::vector<Step> steps, bool* stuck)
{
    return RunScript(
        [&]() { return DialogBoxParamA(module, MAKEINTRESOURCEA(templateId), GetDesktopWindow(), proc, init); },
        std::move(steps), stuck);
}

std::string ItemText(HWND dialog, int id)
{
    char text[512] = {};
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

namespace {

template <typename Procedure>
LRESULT AnswerOf(Procedure procedure, HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool* escaped)
{
    *escaped = false;
    EXPECT_NE(procedure, nullptr);
    if (!procedure)
        return -1;
    try {
        return procedure(window, message, wParam, lParam);
    } catch (...) {
        *escaped = true;
    }
    return -1;
}

}  // namespace

INT_PTR DialogProcedureAnswer(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam, bool* escaped)
{
    return AnswerOf(reinterpret_cast<DLGPROC>(GetWindowLongPtrA(dialog, DWLP_DLGPROC)), dialog, message, wParam,
                    lParam, escaped);
}

LRESULT WindowProcedureAnswer(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool* escaped)
{
    return AnswerOf(reinterpret_cast<WNDPROC>(GetWindowLongPtrW(window, GWLP_WNDPROC)), window, message, wParam,
                    lParam, escaped);
}

void RepeatThisStep(const std::string& waitingFor)
{
    if (!CurrentScript)
        return;
    CurrentScript->repeat = true;
    CurrentScript->waitingFor = waitingFor;
}

Step SetText(int id, std::string text)
{
    return [id, text](HWND dialog) { SetDlgItemTextA(dialog, id, text.c_str()); };
}

Step TypeText(int id, std::string text)
{
    return [id, text](HWND dialog) {
        HWND edit = GetDlgItem(dialog, id);
        int length = GetWindowTextLengthA(edit);
        SendMessageA(edit, EM_SETSEL, length, length);
        SendMessageA(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text.c_str()));
    };
}

Step Press(int id)
{
    return [id](HWND dialog) { PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); };
}

Step Check(int id, bool on)
{
    return [id, on](HWND dialog) {
        if (IsWindowVisible(GetDlgItem(dialog, id)))
            CheckDlgButton(dialog, id, on ? BST_CHECKED : BST_UNCHECKED);
    };
}

Step Inspect(std::function<void(HWND)> look)
{
    return look;
}

Step ExpectErrorBox(std::vector<std::string>* seen)
{
    return [seen](HWND box) {
        seen->push_back(ItemText(box, 0xFFFF));
        char caption[256] = {};
        GetWindowTextA(box, caption, sizeof caption);
        EXPECT_STREQ(caption, Module.AppName);
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    };
}
