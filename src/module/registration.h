// Self-registration under HKEY_CLASSES_ROOT.
#pragma once

#include <windows.h>

namespace vantor::module {

// Writes the five default values for the class (ProgID, class key, ProgID's
// CLSID, class's ProgID, InProcServer32) in that order, stopping at the first
// write that fails. The first two keep a value that is already there.
void RegisterServer(const CLSID& clsid, const char* progId, HMODULE module) noexcept;

}  // namespace vantor::module
