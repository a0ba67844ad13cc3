// The one number reader of the program: parameter counts, archive member sizes and the host
// editor handle all go through it, so they agree on what a number looks like.
#pragma once
#include <cstdint>
#include <string_view>

namespace zandrel {

// Leading blanks and tabs are skipped, an optional "+" or "-" is taken, "$" introduces hex
// digits and "%" binary digits, otherwise decimal digits are read. Reading stops at the first
// character that does not fit; no digits read as 0. Overlong numbers wrap (modulo 2^64) rather
// than invoke undefined behaviour.
std::int64_t ParseNumber(std::string_view text);

}  // namespace zandrel
