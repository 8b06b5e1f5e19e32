#include "console_text.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace vhost {
namespace {

std::wstring ToWide(UINT codePage, std::string_view text) {
    if (text.empty()) return {};
    const int n = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
}

std::mutex& OutputLock() {
    static std::mutex lock;
    return lock;
}

void WriteWide(DWORD which, const std::wstring& wide) {
    const HANDLE handle = GetStdHandle(which);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
    std::lock_guard<std::mutex> guard(OutputLock());
    DWORD mode = 0;
    DWORD written = 0;
    if (GetConsoleMode(handle, &mode)) {
        if (WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr)) return;
    }
    const std::string utf8 = WideToUtf8(wide);
    WriteFile(handle, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

}  // namespace

std::wstring AnsiToWide(std::string_view ansi) { return ToWide(CP_ACP, ansi); }
std::wstring Utf8ToWide(std::string_view utf8) { return ToWide(CP_UTF8, utf8); }

std::string WideToUtf8(std::wstring_view wide) {
    if (wide.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::optional<std::string> WideToAnsi(std::wstring_view wide) {
    if (wide.empty()) return std::string{};
    BOOL lossy = FALSE;
    const int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                      nullptr, &lossy);
    if (n <= 0 || lossy) return std::nullopt;
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::vector<std::wstring> CommandLineArguments() {
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::wstring> args;
    for (int i = 1; argv != nullptr && i < count; ++i) args.emplace_back(argv[i]);
    if (argv != nullptr) LocalFree(argv);
    return args;
}

Language ConsoleLanguage() { return GetACP() == 936 ? Language::kChinese : Language::kEnglish; }

void Out(std::string_view ansi) { WriteWide(STD_OUTPUT_HANDLE, AnsiToWide(ansi)); }
void Err(std::string_view ansi) { WriteWide(STD_ERROR_HANDLE, AnsiToWide(ansi)); }
void OutUtf8(std::string_view utf8) { WriteWide(STD_OUTPUT_HANDLE, Utf8ToWide(utf8)); }

std::optional<std::string> ReadInputLine() {
    const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    std::wstring wide;
    if (GetConsoleMode(in, &mode)) {
        wchar_t ch = 0;
        DWORD got = 0;
        bool any = false;
        while (ReadConsoleW(in, &ch, 1, &got, nullptr) && got == 1) {
            any = true;
            if (ch == L'\n') break;
            if (ch != L'\r') wide.push_back(ch);
        }
        if (!any) return std::nullopt;
    } else {
        std::string bytes;
        char ch = 0;
        DWORD got = 0;
        bool any = false;
        while (ReadFile(in, &ch, 1, &got, nullptr) && got == 1) {
            any = true;
            if (ch == '\n') break;
            if (ch != '\r') bytes.push_back(ch);
        }
        if (!any) return std::nullopt;
        wide = Utf8ToWide(bytes);
    }
    auto ansi = WideToAnsi(wide);
    if (!ansi) {
        Err("input line has characters outside the ANSI code page; skipped\n");
        return std::string{};
    }
    return ansi;
}

}  // namespace vhost
