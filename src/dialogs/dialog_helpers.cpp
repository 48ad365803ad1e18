#include "dialogs/dialog_helpers.h"

#include <algorithm>
#include <cstring>

#include "settings/message_box.h"
#include "res/resource.h"
#include "settings/library.h"
#include "settings/module_state.h"
#include "settings/profile.h"
#include "settings/system_library.h"
#include "settings/text.h"

namespace {

const char FontProperty[] = "ZrDialogFont";

int CALLBACK TakeFirstFamily(const LOGFONTA* font, const TEXTMETRICA*, DWORD, LPARAM data)
{
    return CallbackOrFail(0, [&] {
        auto* found = reinterpret_cast<LOGFONTA*>(data);
        *found = *font;
        found->lfFaceName[LF_FACESIZE - 1] = '\0';
        return 0;  // the first family is enough
    });
}

bool FindFace(HDC dc, const char* face, LOGFONTA* found)
{
    found->lfFaceName[0] = '\0';
    EnumFontFamiliesA(dc, face, TakeFirstFamily, reinterpret_cast<LPARAM>(found));
    return found->lfFaceName[0] != '\0';
}

BOOL CALLBACK SetFontOnChild(HWND child, LPARAM font)
{
    return CallbackOrFail(BOOL{FALSE}, [&] {
        SendMessageA(child, WM_SETFONT, static_cast<WPARAM>(font), FALSE);
        return TRUE;
    });
}

// Writes the filtered text back when it got shorter, keeping the caret where the user left it.
void WriteBack(HWND dialog, int id, const char* text, size_t readLength, size_t keptLength, DWORD caret)
{
    if (keptLength >= readLength)
        return;
    size_t shrink = readLength - keptLength;
    DWORD position = caret > shrink ? static_cast<DWORD>(caret - shrink) : 0;
    HWND edit = GetDlgItem(dialog, id);
    SetWindowTextA(edit, text);
    SendMessageA(edit, EM_SETSEL, position, position);
}

size_t FilterNameInProcessCodePage(const char* text, size_t limit, char* result)
{
    return FilterName(text, limit, result, CP_ACP);
}

template <size_t (*Filter)(const char*, size_t, char*)>
void FilterEdit(HWND dialog, int id, size_t limit, char (&result)[DialogTextChars])
{
    char text[DialogTextChars] = {};
    HWND edit = GetDlgItem(dialog, id);
    GetWindowTextA(edit, text, sizeof text);
    DWORD caret = 0;
    SendMessageA(edit, EM_GETSEL, 0, reinterpret_cast<LPARAM>(&caret));
    size_t readLength = strlen(text);
    size_t kept = Filter(text, limit, result);
    WriteBack(dialog, id, result, readLength, kept, caret);
}

using HtmlHelpFunction = HWND(WINAPI*)(HWND, LPCSTR, UINT, DWORD_PTR);

HtmlHelpFunction HtmlHelpEntry()
{
    // hhctrl.ocx stays loaded once used: its help windows outlive the call that opened them, and
    // unloading it under them would pull their code away.
    static HMODULE library = LoadSystemLibrary("hhctrl.ocx");
    return library ? reinterpret_cast<HtmlHelpFunction>(
                         reinterpret_cast<void (*)()>(GetProcAddress(library, "HtmlHelpA")))
                   : nullptr;
}

}  // namespace

void EndUnreadyDialog(HWND dialog)
{
    if (!(GetWindowLongPtrA(dialog, GWL_STYLE) & WS_CHILD))
        EndDialog(dialog, -1);
}

HFONT CreateDialogFont(HWND window, const char* stringFilePath)
{
    HDC dc = GetDC(window);
    if (!dc)
        return nullptr;
    int pixelsPerInch = GetDeviceCaps(dc, LOGPIXELSX);
    char face[64] = {};
    ReadProfileText(stringFilePath, "string", "FontName", "System", face);
    int pointSize = static_cast<int>(ReadProfileNumber(stringFilePath, "string", "FontSize", 10));

    LOGFONTA font = {};
    bool found = FindFace(dc, face, &font) || FindFace(dc, "System", &font);
    ReleaseDC(window, dc);
    if (!found)
        return nullptr;

    font.lfHeight = pointSize * pixelsPerInch / 72;
    font.lfWidth = 0;
    font.lfEscapement = 0;
    font.lfOrientation = 0;
    font.lfWeight = FW_NORMAL;
    font.lfItalic = FALSE;
    font.lfUnderline = FALSE;
    font.lfStrikeOut = FALSE;
    return CreateFontIndirectA(&font);
}

void ApplyDialogFont(HWND dialog, HFONT font)
{
    SendMessageA(dialog, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    EnumChildWindows(dialog, SetFontOnChild, reinterpret_cast<LPARAM>(font));
}

void KeepDialogFont(HWND dialog, HFONT font)
{
    if (font)
        SetPropA(dialog, FontProperty, font);
}

HFONT DialogFont(HWND dialog)
{
    return static_cast<HFONT>(GetPropA(dialog, FontProperty));
}

void DeleteDialogFont(HWND dialog)
{
    HFONT font = static_cast<HFONT>(RemovePropA(dialog, FontProperty));
    if (font)
        DeleteObject(font);
}

DWORD ReadDialogText(const char* key, const char* fallback, char* buffer, DWORD size)
{
    return ReadStringText(key, fallback, buffer, std::min<DWORD>(size, DialogTextChars));
}

void SetItemTextFromStrings(HWND dialog, int id, const char* key, const char* fallback)
{
    char text[DialogTextChars] = {};
    ReadDialogText(key, fallback, text);
    SetDlgItemTextA(dialog, id, text);
}

DWORD ReadEditText(HWND dialog, int id, char* buffer, DWORD size)
{
    if (!buffer || size == 0)
        return 0;
    char text[DialogTextChars] = {};
    GetDlgItemTextA(dialog, id, text, sizeof text);
    // Walk characters so that a cut never splits a double-byte pair.
    size_t length = 0;
    for (size_t i = 0; text[i] != '\0';) {
        size_t step = IsDBCSLeadByte(static_cast<BYTE>(text[i])) && text[i + 1] != '\0' ? 2 : 1;
        if (i + step > size - 1)
            break;
        i += step;
        length = i;
    }
    memcpy(buffer, text, length);
    buffer[length] = '\0';
    return static_cast<DWORD>(length);
}

size_t FilterName(const char* text, size_t limit, char* result, UINT codePage)
{
    if (codePage == CP_ACP)
        return FilterName(text, limit, result, ProcessCodePage());
    return FilterName(text, limit, result, ReadCodePageTraits(codePage));
}

void FilterNameText(HWND dialog, int id, size_t limit, char (&result)[DialogTextChars])
{
    FilterEdit<FilterNameInProcessCodePage>(dialog, id, limit, result);
}

void FilterDigitText(HWND dialog, int id, size_t limit, char (&result)[DialogTextChars])
{
    FilterEdit<FilterDigits>(dialog, id, limit, result);
}

void ShowEntryError(HWND dialog)
{
    char text[DialogTextChars] = {};
    ReadDialogText("ErrorMessage1", "", text);
    ShowModuleMessage(dialog, text, MB_OK);
}

namespace {

// Flashes the taskbar button until the window comes to the front, where the platform can.
bool FlashTaskbarButton(HWND window)
{
    using FlashWindowExFunction = BOOL(WINAPI*)(PFLASHWINFO);
    Library user(FromSystemFolder{}, "user32.dll");
    auto flash = user.Get<FlashWindowExFunction>("FlashWindowEx");
    if (!flash)
        return false;
    FLASHWINFO info = {};
    info.cbSize = sizeof info;
    info.hwnd = window;
    info.dwFlags = FLASHW_TRAY | FLASHW_TIMERNOFG;
    info.uCount = 5;
    info.dwTimeout = 0;
    flash(&info);
    return true;
}

}  // namespace

void FlashForAttention(HWND dialog, int& counter, AttentionInFront inFront)
{
    const bool front = GetForegroundWindow() == dialog;
    if ((front && inFront == AttentionInFront::Stop) || (!front && FlashTaskbarButton(dialog))) {
        KillTimer(dialog, AttentionTimer);
        counter = 0;
        return;
    }
    // Five inversions of the caption, one a tick, then the timer stops.
    int taken = counter++;
    if (taken < 5) {
        FlashWindow(dialog, TRUE);
        return;
    }
    KillTimer(dialog, AttentionTimer);
    counter = 0;
}

void ShowControlHelp(HWND window, int controlId, const HelpContextRow* table)
{
    if (!table)
        return;
    char path[PathChars];
    const char windowType[] = ">popup";
    // A help path too long for the window type would open the wrong file, and an empty one names
    // none; such help is skipped.
    if (!Module.HelpFilePath[0] || !ComposePath(path, {Module.HelpFilePath, windowType}))
        return;
    for (const HelpContextRow* row = table; row->ControlId != 0 || row->ContextId != 0; ++row) {
        if (row->ControlId != controlId)
            continue;
        if (HtmlHelpFunction htmlHelp = HtmlHelpEntry())
            htmlHelp(window, path, 0x000F /* HH_HELP_CONTEXT */, row->ContextId);
    }
}

void ShowHelpFile(HWND owner)
{
    if (HtmlHelpFunction htmlHelp = HtmlHelpEntry())
        htmlHelp(owner, Module.HelpFilePath, 0x0000 /* HH_DISPLAY_TOPIC */, 0);
}

INT_PTR HandleHelpMessage(UINT message, WPARAM wParam, LPARAM lParam, const HelpContextRow* table)
{
    if (message == WM_HELP) {
        const auto* info = reinterpret_cast<const HELPINFO*>(lParam);
        if (info)
            ShowControlHelp(static_cast<HWND>(info->hItemHandle), info->iCtrlId, table);
    } else if (message == WM_CONTEXTMENU) {
        HWND window = reinterpret_cast<HWND>(wParam);
        ShowControlHelp(window, GetDlgCtrlID(window), table);
    }
    return FALSE;
}

DialogLayout::DialogLayout(HWND dialog, HFONT font, int width, int height)
    : dialog_(dialog), dc_(GetDC(dialog)), width_(width), height_(height)
{
    if (dc_ && font)
        previousFont_ = SelectObject(dc_, font);
}

DialogLayout::~DialogLayout()
{
    if (!dc_)
        return;
    if (previousFont_)
        SelectObject(dc_, previousFont_);
    ReleaseDC(dialog_, dc_);
}

SIZE DialogLayout::Measure(const char* text) const
{
    SIZE size = {0, 0};
    if (dc_) {
        // An empty text still has a line height.
        int length = static_cast<int>(strlen(text));
        if (length == 0) {
            TEXTMETRICA metrics = {};
            GetTextMetricsA(dc_, &metrics);
            size.cy = metrics.tmHeight;
        } else {
            GetTextExtentPoint32A(dc_, text, length, &size);
        }
    }
    return size;
}

void DialogLayout::Move(int id, int left, int top, int width, int height)
{
    if (HWND control = GetDlgItem(dialog_, id))
        MoveWindow(control, left, top, width, height, FALSE);
}

void DialogLayout::GroupStart()
{
    char text[DialogTextChars] = {};
    ReadDialogText("JobAccountGroup", "Job Account Setting", text);
    SetDlgItemTextA(dialog_, IDC_GROUP, text);
    groupTextHeight_ = Measure(text).cy;
    y_ = groupTextHeight_ + 20;
}

void DialogLayout::Label(int id, const char* text)
{
    SIZE size = Measure(text);
    SetDlgItemTextA(dialog_, id, text);
    Move(id, 20, y_, size.cx + 20, size.cy + 2);
    y_ += size.cy + 2;
}

void DialogLayout::Edit(int id)
{
    Move(id, 20, y_, width_ - 60, 20);
    y_ += 30;
}

void DialogLayout::CheckBox(int id, const char* text, int step)
{
    SIZE size = Measure(text);
    SetDlgItemTextA(dialog_, id, text);
    Move(id, 20, y_, size.cx + 20, size.cy + 2);
    y_ += step;
}

void DialogLayout::GroupEnd()
{
    Move(IDC_GROUP, 10, 10, width_ - 40, y_ - 10);
}

void DialogLayout::ButtonRowStart()
{
    y_ += 10;
}

SIZE DialogLayout::ButtonSize(const char* text) const
{
    SIZE size = Measure(text);
    return SIZE{std::max(Quarter(), static_cast<int>(size.cx) + 20), size.cy + 10};
}

void DialogLayout::PlaceButton(int id, const char* text, int left, SIZE size)
{
    SetDlgItemTextA(dialog_, id, text);
    Move(id, left, y_, size.cx, size.cy);
}

void DialogLayout::Centre(int buttonTextHeight)
{
    RECT window = {}, group = {}, desktop = {};
    GetWindowRect(dialog_, &window);
    GetWindowRect(GetDlgItem(dialog_, IDC_GROUP), &group);
    GetWindowRect(GetDesktopWindow(), &desktop);
    int desktopWidth = desktop.right - desktop.left;
    int desktopHeight = desktop.bottom - desktop.top;
    int height = (group.top - window.top) + y_ + buttonTextHeight + 20;
    MoveWindow(dialog_, desktopWidth / 2 - width_ / 2, desktopHeight / 2 - height_ / 2, width_, height, FALSE);
}
