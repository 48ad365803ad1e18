#include "idlist/id_import.h"

#include <utility>
#include <vector>

#include "idlist/driver_list.h"
#include "idlist/propagate.h"
#include "settings/module_state.h"
#include "settings/settings_file.h"

int ImportIDFileInto(const char* idFile, const char* settingsFile, RefusalNote refused, void* context)
{
    std::string text;
    switch (ReadIDFile(idFile, &text)) {
    case IdFileRead::Read:
        break;
    case IdFileRead::TooLarge:
        return IdImportTooLarge;
    case IdFileRead::WideText:
        return IdImportWideText;
    default:
        return IdImportUnreadable;
    }
    // As a fixed-ID list the rows keep every accepted line in file order with its user name as
    // given; setting them as keys one after another lets a later line win, as separate writes do.
    IdList lines;
    ImportHandlers handlers;
    handlers.refused = refused;
    handlers.context = context;
    const int code = ImportIDText(text, true, &lines, handlers);
    if (lines.Size() == 0)
        return code;
    std::vector<std::pair<std::string, std::string>> entries;
    entries.reserve(lines.Size());
    for (const IdRow& row : lines.Rows())
        entries.emplace_back(row.Name, row.UserName.empty() ? row.ID : row.ID + "," + row.UserName);
    if (!SetProfileKeys(settingsFile, RegisteredIDSection, entries))
        return IdImportNotWritten;
    return code;
}

int ImportIDFileIntoMaster(const char* idFile, RefusalNote refused, void* context)
{
    char master[PathChars];
    if (!MasterSettingsPath(master))
        return IdImportNotWritten;
    const int code = ImportIDFileInto(idFile, master, refused, context);
    if (code == IdImportUnreadable || code == IdImportNotWritten || code == IdImportTooLarge ||
        code == IdImportWideText)
        return code;
    OwnedDriverList drivers;
    const int propagated = PropagateSettingsFile(&drivers.list, master);
    return propagated ? code : IdImportNotPropagated;
}

bool WriteIdSection(const char* settingsFile, const std::vector<IdRow>& rows, bool fixed)
{
    return RewriteProfileSection(settingsFile, fixed ? FixedIDSection : RegisteredIDSection,
                                 FormatIdSection(rows, fixed));
}

std::string MasterListAsIDFile(bool fixed)
{
    char master[PathChars];
    if (!MasterSettingsPath(master))
        return {};
    IdList list;
    LoadIdSection(master, fixed, &list);
    return FormatIdFile(list.Rows(), fixed);
}
