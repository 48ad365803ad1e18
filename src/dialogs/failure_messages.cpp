#include "dialogs/failure_messages.h"

#include <string>

#include "settings/module_state.h"
#include "settings/profile.h"

namespace {

enum : DWORD { MessageChars = 1024, SystemTextChars = 512 };

std::string SystemText(DWORD error)
{
    char text[SystemTextChars] = {};
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                  text, sizeof text, nullptr);
    while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' || text[length - 1] == ' '))
        text[--length] = '\0';
    return length ? std::string(text) : "error " + std::to_string(error);
}

std::string StringText(const char* key, const char* fallback)
{
    char text[MessageChars] = {};
    ReadStringText(key, fallback, text, sizeof text);
    return text;
}

void ShowText(HWND owner, const std::string& text) { MessageBoxA(owner, text.c_str(), Module.AppName, MB_OK); }

}  // namespace

void ShowFileFailure(HWND owner, const char* key, const char* fallback, const char* file, DWORD error)
{
    ShowText(owner, StringText(key, fallback) + "\r\n\r\n" + (file ? file : "") + "\r\n" + SystemText(error));
}

void ShowSettingsWriteFailure(HWND owner, const char* file, DWORD error)
{
    ShowFileFailure(owner, "WriteErrorMessage", "The printer settings file could not be written.", file, error);
}

void ShowIDFileRefusal(HWND owner, IdFileRead read, const char* file)
{
    const std::string name = std::string("\r\n\r\n") + (file ? file : "");
    if (read == IdFileRead::TooLarge)
        ShowText(owner, StringText("IDFileTooLargeMessage",
                                   "The file is larger than 64 MB, too large for an ID file. Nothing was imported.") +
                            name);
    else if (read == IdFileRead::WideText)
        ShowText(owner, StringText("IDFileUnicodeMessage",
                                   "The file is saved as Unicode (UTF-16) text, which cannot be imported. Save it as "
                                   "CSV or CSV UTF-8 and import it again. Nothing was imported.") +
                            name);
}
