// The 17-row register table the host reads directly, and the error texts of
// the register and address checks.
#pragma once

#include "host/records.h"

namespace vantor {

// Row number = RegisterKind. Constant for the life of the module.
extern const RegisterDef kRegisterTable[kRegisterCount];

// GBK (code page 936) texts selected by LastErrorCode 0..4, or null.
const char* ErrorText(int code) noexcept;

}  // namespace vantor
