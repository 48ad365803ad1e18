// The data object through which the demo names a printer to the property-sheet extension, as the
// shell's printers folder does: a file-drop block in the "PrinterFriendlyName" clipboard format.
#pragma once

#include <windows.h>
#include <objidl.h>

// A new object holding one reference, or null when memory is short.
IDataObject* CreatePrinterDataObject(const char* printer);
