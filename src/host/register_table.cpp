// The register table the host reads row by row. The row number is the
// RegisterKind carried by every IoPacket, so the order is fixed.
#include "host/register_table.h"

namespace vantor {

// A row whose lowest index is not below its highest takes no index. The
// reserved bytes are zero in every row.
const RegisterDef kRegisterTable[kRegisterCount] = {
    {"AT", 0, 0, kType2, {}},
    {"CMGF", 0, 0, kType2, {}},
    {"CSCA", 0, 0, kTypeText, {}},
    {"CMGD", 0, 0, kType2, {}},
    {"NEW", 0, 0, kType1, {}},
    {"MsgNew", 0, 9, kTypeText, {}},
    {"MsgNec", 0, 9, kTypeText, {}},
    {"OLD", 0, 0, kType1, {}},
    {"MsgOld", 0, 19, kTypeText, {}},
    {"MsgInf", 0, 19, kTypeText, {}},
    {"SEND", 0, 0, kType1, {}},
    {"Tele", 0, 0, kTypeText, {}},
    {"MsgSend", 0, 1, kTypeText, {}},
    {"ReSTime", 0, 0, kType2, {}},
    {"EDelay", 0, 0, kType8, {}},
    {"SReturn", 0, 0, kType2, {}},
    {"CodeMod", 0, 0, kType2, {}},
};

}  // namespace vantor
