// Self-registration under HKEY_CLASSES_ROOT.
#pragma once

#include <windows.h>

namespace vantor::module {

// Writes the five default values for the class (ProgID, class key, ProgID's
// CLSID, class's ProgID, InProcServer32) in that order, stopping at the first
// write that fails. The first two keep a value that is already there.
// S_OK when every value is in place; otherwise the failing call's HRESULT
// (a registry write refused without administrator rights gives
// E_ACCESSDENIED), or SELFREG_E_CLASS when the class text or the module's
// path could not be had.
HRESULT RegisterServer(const CLSID& clsid, const char* progId, HMODULE module) noexcept;

}  // namespace vantor::module
