// Text between the module, the console and the command line.
//
// The module speaks the ANSI code page (GBK, 936, on the shipped machines), so
// every text this program handles internally is ANSI bytes. On the way out
// they are widened to UTF-16: a real console gets them through WriteConsoleW;
// a pipe or a file gets UTF-8, which is what a Linux terminal or log under
// Wine expects. On the way in, arguments are taken as UTF-16 from the command
// line and narrowed to the ANSI code page; a character the code page cannot
// hold is refused instead of being replaced by '?'.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "detect_report.h"
#include "text_format.h"

namespace vhost {

std::wstring AnsiToWide(std::string_view ansi);
std::wstring Utf8ToWide(std::string_view utf8);
std::string WideToUtf8(std::wstring_view wide);
// Empty optional when some character has no form in the ANSI code page.
std::optional<std::string> WideToAnsi(std::wstring_view wide);

// The program's arguments (without argv[0]) as UTF-16.
std::vector<std::wstring> CommandLineArguments();

// Writes ANSI text to standard output or standard error; safe to call from
// the trace listener's thread and the main thread at once.
void Out(std::string_view ansi);
void Err(std::string_view ansi);
// Writes UTF-8 text (the program's own fixed texts) to standard output.
void OutUtf8(std::string_view utf8);

// Chinese where the ANSI code page is GBK (936), else English.
Language ConsoleLanguage();

// Reads one line of standard input as ANSI text (a console is read as UTF-16,
// a pipe or file as UTF-8). Empty optional at the end of input.
std::optional<std::string> ReadInputLine();

}  // namespace vhost
