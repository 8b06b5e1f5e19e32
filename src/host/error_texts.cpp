// The five texts that explain a failed register or address check. They are
// shown to people as they are, so they are stored in the ANSI code page of the
// shipped machines, GBK (code page 936).
#include "host/register_table.h"

namespace vantor {

namespace {

// 请查阅README文档或帮助文档! (please consult the README or the help document)
#define VANTOR_SEE_README "\xc7\xeb\xb2\xe9\xd4\xc4" "README" "\xce\xc4\xb5\xb5\xbb\xf2\xb0\xef\xd6\xfa\xce\xc4\xb5\xb5" "!"

constexpr const char* kTexts[] = {
    // 0: 寄存器名字错误! (register name error)
    "\xbc\xc4\xb4\xe6\xc6\xf7\xc3\xfb\xd7\xd6\xb4\xed\xce\xf3" "!\n" VANTOR_SEE_README,
    // 1: 设备地址错误! (device address error)
    "\xc9\xe8\xb1\xb8\xb5\xd8\xd6\xb7\xb4\xed\xce\xf3" "!\n" VANTOR_SEE_README,
    // 2: 找不到寄存器! (register not found)
    "\xd5\xd2\xb2\xbb\xb5\xbd\xbc\xc4\xb4\xe6\xc6\xf7" "!\n" VANTOR_SEE_README,
    // 3: 寄存器数据地址错误! (register data address error: index out of range)
    "\xbc\xc4\xb4\xe6\xc6\xf7\xca\xfd\xbe\xdd\xb5\xd8\xd6\xb7\xb4\xed\xce\xf3" "!\n" VANTOR_SEE_README,
    // 4: 数据类型错误! (data type error)
    "\xca\xfd\xbe\xdd\xc0\xe0\xd0\xcd\xb4\xed\xce\xf3" "!\n" VANTOR_SEE_README,
};

#undef VANTOR_SEE_README

}  // namespace

const char* ErrorText(int code) noexcept {
    if (code < 0 || code >= static_cast<int>(sizeof(kTexts) / sizeof(kTexts[0]))) return nullptr;
    return kTexts[code];
}

}  // namespace vantor
