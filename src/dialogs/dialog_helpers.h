// Text, font, layout, input-filter, attention and help conventions shared by the module's dialogs.
#pragma once

#include <windows.h>

#include "dialogs/input_filters.h"
#include "settings/export_barrier.h"

// Ends a top-level dialog whose WM_INITDIALOG failed with -1, the result of a dialog that could not be
// created, before anyone sees it: half filled, its OK would write what it lacks (a list read only in
// part would replace the whole list). A property page is left to its sheet, which alone closes it.
void EndUnreadyDialog(HWND dialog);

// The barrier at the entry of each of the module's dialog procedures: what `handler` answers, or
// FALSE (not handled) when it throws, so that one failed message never unwinds into user32.
template <typename Handler>
INT_PTR DialogMessageOrFail(HWND dialog, UINT message, Handler handler) noexcept
{
    bool answered = false;
    const INT_PTR answer = CallbackOrFail(INT_PTR{FALSE}, [&] {
        const INT_PTR result = handler();
        answered = true;
        return result;
    });
    if (!answered && message == WM_INITDIALOG)
        EndUnreadyDialog(dialog);
    return answer;
}

// Pairs of (control id, help context id); a table ends with a (0, 0) row.
struct HelpContextRow {
    int ControlId;
    DWORD ContextId;
};

// A font for one dialog from "string"/"FontName" and "FontSize" of the string file; null when
// neither that face nor "System" exists. The dialog owns and deletes it.
HFONT CreateDialogFont(HWND window, const char* stringFilePath);
// Gives the font (null: the system font) to the dialog and to all of its descendants.
void ApplyDialogFont(HWND dialog, HFONT font);

// Keeps the dialog's font with its window so that it can be deleted once, whichever way the
// dialog goes; DeleteDialogFont may run any number of times.
void KeepDialogFont(HWND dialog, HFONT font);
HFONT DialogFont(HWND dialog);
void DeleteDialogFont(HWND dialog);

// "string"/key of the string file, at most 255 characters, else the fallback.
DWORD ReadDialogText(const char* key, const char* fallback, char* buffer, DWORD size);
template <size_t N>
DWORD ReadDialogText(const char* key, const char* fallback, char (&buffer)[N])
{
    return ReadDialogText(key, fallback, buffer, static_cast<DWORD>(N));
}

// Sets control `id` of the dialog to "string"/key of the string file, else the fallback.
void SetItemTextFromStrings(HWND dialog, int id, const char* key, const char* fallback);

// Reads an edit into `buffer`, cut to size - 1 bytes without leaving half of a double-byte
// character at the end.
DWORD ReadEditText(HWND dialog, int id, char* buffer, DWORD size);
template <size_t N>
DWORD ReadEditText(HWND dialog, int id, char (&buffer)[N])
{
    return ReadEditText(dialog, id, buffer, static_cast<DWORD>(N));
}

// The name filter (dialogs/input_filters.h) with the tables of an installed code page.
size_t FilterName(const char* text, size_t limit, char* result, UINT codePage = CP_ACP);

// Filter an edit in place from its EN_UPDATE; `result` receives the edit's text after filtering.
void FilterNameText(HWND dialog, int id, size_t limit, char (&result)[DialogTextChars]);
void FilterDigitText(HWND dialog, int id, size_t limit, char (&result)[DialogTextChars]);

// The one validation error box of the entry dialogs.
void ShowEntryError(HWND dialog);

// One tick of timer 1 of a popup that wants the user's attention; `counter` is the popup kind's
// own count of fallback flashes.
enum : UINT_PTR { AttentionTimer = 1 };
enum : UINT { AttentionPeriod = 1000 };
// `inFront`: what a popup already in front does, stop asking or flash its caption five times; one
// that is not in front flashes its taskbar button where the platform can.
enum class AttentionInFront { Stop, FlashCaption };
void FlashForAttention(HWND dialog, int& counter, AttentionInFront inFront);

// Context help of every table row naming `controlId`.
void ShowControlHelp(HWND window, int controlId, const HelpContextRow* table);
// The help file's opening page, owned by `owner`.
void ShowHelpFile(HWND owner);
// WM_HELP / WM_CONTEXTMENU handling through ShowControlHelp; always FALSE for default processing.
INT_PTR HandleHelpMessage(UINT message, WPARAM wParam, LPARAM lParam, const HelpContextRow* table);

// Measures texts with the dialog font and moves the controls of an entry dialog row by row.
class DialogLayout {
public:
    // `width`, `height`: the client size the layout fills.
    DialogLayout(HWND dialog, HFONT font, int width, int height);
    ~DialogLayout();
    DialogLayout(const DialogLayout&) = delete;
    DialogLayout& operator=(const DialogLayout&) = delete;

    SIZE Measure(const char* text) const;

    void GroupStart();
    void Label(int id, const char* text);
    void Edit(int id);
    void CheckBox(int id, const char* text, int step = 30);
    void GroupEnd();

    // Button row: ButtonRowTop starts it; ButtonSize gives a button's size for its text;
    // PlaceButton puts it with its top at the row.
    void ButtonRowStart();
    int Quarter() const { return (width_ - 40) / 4; }
    SIZE ButtonSize(const char* text) const;
    void PlaceButton(int id, const char* text, int left, SIZE size);

    // Centres the dialog on the desktop; `buttonTextHeight` is the height of the named button text.
    void Centre(int buttonTextHeight);

    int Width() const { return width_; }
    int Height() const { return height_; }
    int Y() const { return y_; }

private:
    void Move(int id, int left, int top, int width, int height);

    HWND dialog_;
    HDC dc_;
    HGDIOBJ previousFont_ = nullptr;
    int width_;
    int height_;
    int y_ = 0;
    int groupTextHeight_ = 0;
};
