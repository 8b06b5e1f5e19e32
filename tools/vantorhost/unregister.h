// vantorhost unregister: removes the registration that DllRegisterServer
// wrote, since the module exports no unregister entry (regsvr32 /u cannot).
#pragma once

#include <string>

namespace vhost {

// Removes the five default values that registration writes under
// HKEY_CLASSES_ROOT (the ProgID, the class key, the ProgID's CLSID, the
// class's ProgID, InProcServer32), each only when it holds what registration
// wrote, and each key once nothing else is left in it; all of it only when
// InProcServer32 names `dllPath`. Prints what it did. Returns the exit
// status: 0 removed or nothing registered, 1 registered for another file or
// a removal failed.
int RunUnregister(const std::wstring& dllPath);

}  // namespace vhost
