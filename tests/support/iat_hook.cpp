#include "iat_hook.h"

#include <cstring>
#include <string>

#include "settings/settings_file.h"

namespace {

void** FindImportSlot(HMODULE module, const char* dll, const char* function)
{
    auto* base = reinterpret_cast<BYTE*>(module);
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!dir.VirtualAddress)
        return nullptr;
    for (auto* desc = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); desc->Name; ++desc) {
        if (lstrcmpiA(reinterpret_cast<char*>(base + desc->Name), dll) != 0)
            continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + (desc->OriginalFirstThunk ? desc->OriginalFirstThunk
                                                                                            : desc->FirstThunk));
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + desc->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (strcmp(reinterpret_cast<char*>(byName->Name), function) == 0)
                return reinterpret_cast<void**>(&slots->u1.Function);
        }
    }
    return nullptr;
}

// The slot of a function the module loads on first call. The linker records no directory of those,
// so the slot is found by its symbol, __imp_<name> (32-bit: __imp__<name>@<bytes>), in the COFF
// symbol table of the module's file, which the build keeps.
void** FindDelayedImportSlot(HMODULE module, const char* function)
{
    char path[MAX_PATH] = {};
    std::string image;
    const DWORD length = GetModuleFileNameA(module, path, sizeof path);
    if (length == 0 || length >= sizeof path || !ReadWholeFile(path, &image))
        return nullptr;

    auto* base = reinterpret_cast<BYTE*>(module);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_FILE_HEADER& header = nt->FileHeader;
    const IMAGE_SECTION_HEADER* sections = IMAGE_FIRST_SECTION(nt);
    const size_t symbolsAt = header.PointerToSymbolTable;
    const size_t stringsAt = symbolsAt + size_t{header.NumberOfSymbols} * IMAGE_SIZEOF_SYMBOL;
    if (!symbolsAt || stringsAt + 4 > image.size())
        return nullptr;
    const std::string wanted = std::string(sizeof(void*) == 4 ? "__imp__" : "__imp_") + function;
    for (DWORD i = 0; i < header.NumberOfSymbols; ++i) {
        const auto* symbol = reinterpret_cast<const IMAGE_SYMBOL*>(image.data() + symbolsAt + size_t{i} * IMAGE_SIZEOF_SYMBOL);
        std::string name;
        if (symbol->N.Name.Short)
            name.assign(reinterpret_cast<const char*>(symbol->N.ShortName), strnlen(reinterpret_cast<const char*>(symbol->N.ShortName), 8));
        else if (stringsAt + symbol->N.Name.Long < image.size())
            name = image.c_str() + stringsAt + symbol->N.Name.Long;  // the text ends in a zero at worst
        const bool matches = name == wanted || (sizeof(void*) == 4 && name.rfind(wanted + "@", 0) == 0);
        if (matches && symbol->SectionNumber > 0 && symbol->SectionNumber <= header.NumberOfSections)
            return reinterpret_cast<void**>(base + sections[symbol->SectionNumber - 1].VirtualAddress + symbol->Value);
        i += symbol->NumberOfAuxSymbols;
    }
    return nullptr;
}

void WriteSlot(void** slot, void* value)
{
    DWORD old = 0;
    VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old);
    *slot = value;
    VirtualProtect(slot, sizeof *slot, old, &old);
}

}  // namespace

ImportHook::ImportHook(HMODULE module, const char* dll, const char* function, void* replacement)
{
    module = module ? module : GetModuleHandleA(nullptr);
    slot_ = FindImportSlot(module, dll, function);
    if (slot_) {
        original_ = *slot_;
    } else if ((slot_ = FindDelayedImportSlot(module, function)) != nullptr) {
        // The slot may still hold the loader's thunk, which would bind it over the stand-in.
        delayedLibrary_ = LoadLibraryA(dll);
        original_ = delayedLibrary_ ? reinterpret_cast<void*>(GetProcAddress(delayedLibrary_, function)) : nullptr;
        if (!original_) {
            slot_ = nullptr;
            return;
        }
        restore_ = *slot_;
    } else {
        return;
    }
    WriteSlot(slot_, replacement);
}

ImportHook::~ImportHook()
{
    if (slot_)
        WriteSlot(slot_, delayedLibrary_ ? restore_ : original_);
    if (delayedLibrary_)
        FreeLibrary(delayedLibrary_);
}
