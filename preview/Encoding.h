// Conversions between the program's single-byte (ANSI) text and the UTF-8 that Scintilla
// editors in UTF-8 mode hold.
#pragma once
#include <string>
#include <string_view>

namespace zandrel {

// Through the system's ANSI code page. Pure ASCII passes unchanged without a system call.
std::string AnsiToUtf8(std::string_view ansi);
std::string Utf8ToAnsi(std::string_view utf8);

}  // namespace zandrel
