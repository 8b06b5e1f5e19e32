#include "module_loader.h"

#include "console_text.h"

namespace vhost {
namespace {

using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using RegisterServerFn = HRESULT(STDAPICALLTYPE*)();

std::string Hex(HRESULT hr) { return Format("0x%08lX", static_cast<unsigned long>(hr)); }

}  // namespace

std::wstring PathBesideExe(const wchar_t* fileName) {
    wchar_t exe[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring path(exe, n);
    const auto slash = path.find_last_of(L"\\/");
    path.resize(slash == std::wstring::npos ? 0 : slash + 1);
    return path + fileName;
}

ModuleLoader::~ModuleLoader() {
    // The objects go first: their last Release closes the port. The module
    // itself stays mapped until the process ends, as a host would keep it.
    sharing_.Reset();
    driver_.Reset();
    if (comInitialized_) CoUninitialize();
}

bool ModuleLoader::LoadBesideExe(std::string& why) {
    if (module_ != nullptr) return true;
    const std::wstring path = PathBesideExe(L"Vantor.dll");
    module_ = LoadLibraryW(path.c_str());
    if (module_ == nullptr) {
        why = Format("cannot load %s (error %lu)", WideToUtf8(path).c_str(), GetLastError());
        return false;
    }
    return true;
}

bool ModuleLoader::Register(std::string& report) {
    if (!LoadBesideExe(report)) return false;
    auto registerServer = reinterpret_cast<RegisterServerFn>(
        reinterpret_cast<void*>(GetProcAddress(module_, "DllRegisterServer")));
    if (registerServer == nullptr) {
        report = "Vantor.dll has no DllRegisterServer export";
        return false;
    }
    const HRESULT hr = registerServer();
    report = "DllRegisterServer: " + Hex(hr);
    return SUCCEEDED(hr);
}

bool ModuleLoader::Create(std::string& how) {
    if (!comInitialized_) {
        const HRESULT hr = CoInitialize(nullptr);
        if (FAILED(hr)) {
            how = "CoInitialize failed: " + Hex(hr);
            return false;
        }
        comInitialized_ = true;
    }
    void* object = nullptr;
    HRESULT hr = CoCreateInstance(vantor::kClsidModulePro, nullptr, CLSCTX_INPROC_SERVER,
                                  vantor::kIidDeviceDriver, &object);
    if (SUCCEEDED(hr)) {
        how = "CoCreateInstance of the registered class";
    } else {
        // Not registered (or registered at a path that no longer loads): take
        // the class factory from the module beside the program.
        const std::string comFailure = "CoCreateInstance " + Hex(hr);
        std::string why;
        if (!LoadBesideExe(why)) {
            how = comFailure + "; " + why;
            return false;
        }
        auto getClassObject = reinterpret_cast<GetClassObjectFn>(
            reinterpret_cast<void*>(GetProcAddress(module_, "DllGetClassObject")));
        if (getClassObject == nullptr) {
            how = comFailure + "; Vantor.dll has no DllGetClassObject export";
            return false;
        }
        vantor::com::Ref<IClassFactory> factory;
        hr = getClassObject(vantor::kClsidModulePro, IID_IClassFactory, factory.Out());
        if (FAILED(hr) || !factory) {
            how = comFailure + "; DllGetClassObject " + Hex(hr);
            return false;
        }
        hr = factory->CreateInstance(nullptr, vantor::kIidDeviceDriver, &object);
        factory.Reset();
        if (FAILED(hr) || object == nullptr) {
            how = comFailure + "; IClassFactory::CreateInstance " + Hex(hr);
            return false;
        }
        how = comFailure + " (class not registered); used DllGetClassObject of the Vantor.dll beside the program";
    }
    driver_ = vantor::com::Ref<vantor::IDeviceDriver>(static_cast<vantor::IDeviceDriver*>(object));
    hr = driver_.As(vantor::kIidPortSharing, &sharing_);
    if (FAILED(hr) || !sharing_) {
        sharing_.Detach();  // a failed query hands out no reference
        how += "; QueryInterface(IPortSharing) " + Hex(hr);
        return false;
    }
    return true;
}

}  // namespace vhost
