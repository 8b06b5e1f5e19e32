// The checks the host runs while it is configured: the register table, the
// register name of each variable and the device address. A failed check
// leaves its error code (0..4, see ErrorText) in *errorCode; the driver object
// keeps that code for the next GetErrorText.
#pragma once

#include <cstdint>

#include "host/records.h"

namespace vantor::host {

// The module's register table. 0 when an output is missing.
int GetRegisterTable(const RegisterDef** rows, std::int32_t* count) noexcept;

// Finds the row of `table` whose name begins the query's name (blanks around
// it allowed) and checks its index and data type. 0 and `ref` filled when
// valid; 1 and *errorCode set otherwise.
std::int16_t CheckRegister(const RegisterQuery* query, RegisterRef* ref, const RegisterDef* table,
                           std::int32_t rows, std::int32_t* errorCode) noexcept;

// A decimal address of 0..256. 1 and *address set when valid; 0 and
// *errorCode set otherwise.
int CheckDeviceAddress(const char* text, std::int32_t* address, std::int32_t* errorCode) noexcept;

// The text for *errorCode (null for none), which is reset to -1: a text
// explains one failure once.
const char* TakeErrorText(std::int32_t* errorCode) noexcept;

}  // namespace vantor::host
