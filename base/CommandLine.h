// Windows command lines: one string that the started program splits into arguments by the C
// runtime's rules. Backslashes are only special before a double quote, so a folder such as
// "C:\libs\" must be written with its trailing backslash doubled inside quotes.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace zandrel {

// One argument, quoted when needed so that the runtime hands it back unchanged.
std::string QuoteArgument(std::string_view arg);

// Arguments joined by blanks, each quoted as needed.
std::string JoinCommandLine(const std::vector<std::string>& args);

// The runtime's split of an argument string (not the program name): blanks and tabs separate,
// quotes group, 2n backslashes before a quote give n and the quote groups, 2n+1 give n and a
// literal quote, "" inside quotes gives a literal quote.
std::vector<std::string> SplitCommandLine(std::string_view line);

}  // namespace zandrel
