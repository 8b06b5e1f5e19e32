// Whether trying a refused message again can help: the refusals of 3GPP TS
// 27.005 3.2.5 (with the network's causes of TS 24.011 and the transfer
// layer's of TS 23.040 9.2.3.22 it passes on) and of TS 27.007 9.2, sorted
// into those that pass (a congested network, a busy SIM or service centre)
// and those that stay (a number or service centre the network does not
// know, a barred subscriber, a PDU the modem cannot take).
#pragma once

#include "at/answer.h"

namespace vantor {

enum class RefusalClass {
    kUnknown,    // no code, or one that says nothing either way
    kTemporary,  // worth another attempt after a pause
    kPermanent,  // no attempt will succeed
};

RefusalClass ClassOf(const at::Refusal& refusal) noexcept;

const char* NameOf(RefusalClass c) noexcept;

}  // namespace vantor
