// Obtains a CModulePro object the way an HMI runtime does: through COM when
// the class is registered, otherwise straight from the Vantor.dll beside this
// program (DllGetClassObject and the class factory).
#pragma once

#include <windows.h>

#include <string>

#include "com/com_ref.h"
#include "module/interfaces.h"

namespace vhost {

class ModuleLoader {
public:
    ModuleLoader() = default;
    ModuleLoader(const ModuleLoader&) = delete;
    ModuleLoader& operator=(const ModuleLoader&) = delete;
    ~ModuleLoader();

    // DllRegisterServer of the Vantor.dll beside this program.
    bool Register(std::string& report);
    // Creates the object and queries both host interfaces. `how` tells which
    // way the object was obtained, or why it could not be.
    bool Create(std::string& how);

    vantor::IDeviceDriver* Driver() const { return driver_.Get(); }
    vantor::IPortSharing* Sharing() const { return sharing_.Get(); }

private:
    bool LoadBesideExe(std::string& why);

    HMODULE module_ = nullptr;
    bool comInitialized_ = false;
    vantor::com::Ref<vantor::IDeviceDriver> driver_;
    vantor::com::Ref<vantor::IPortSharing> sharing_;
};

// The full path of a file in this program's folder.
std::wstring PathBesideExe(const wchar_t* fileName);

}  // namespace vhost
