// The module's application object: constructed at load, started once when the
// module is attached to a process. Start-up makes the class factory available
// and never fails, so loading never fails on its account.
#pragma once

namespace vantor::module {

class CApplication {
public:
    bool InitInstance() noexcept;
};

CApplication& Application() noexcept;

}  // namespace vantor::module
