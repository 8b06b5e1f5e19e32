#include "module/application.h"

#include "module/class_factory.h"
#include "module/module_state.h"

namespace vantor::module {

bool CApplication::InitInstance() noexcept {
    FactoryListGuard guard;
    ModuleProFactory().MarkAvailable();
    return true;
}

namespace {
CApplication g_application;
}  // namespace

CApplication& Application() noexcept { return g_application; }

}  // namespace vantor::module
