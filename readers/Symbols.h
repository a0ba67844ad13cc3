// Decoding of the decorated names found in import libraries: which ones become rows, how many
// parameters a name carries and what the function is called in the host language.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/Number.h"

namespace zandrel {

// The two tests below run for every name of a library, hundreds of thousands of them, and are
// inline so that the reader's loop pays no call for them.

// True for names that give no row: thunk terminators, import descriptors, "__imp_" pointer
// slots, floating-point constants and compiler-mangled names.
inline bool IsSkippedSymbol(std::string_view name) {
    if (name.empty()) return false;
    if (static_cast<unsigned char>(name[0]) == 0x7F || name[0] == '?') return true;
    // The other skipped names all begin with "__", and the third byte tells which one it can
    // be: one comparison of text at most (of a known length, done in place).
    if (name.size() < 3 || name[0] != '_' || name[1] != '_') return false;
    switch (name[2]) {
        case 'I': return name.starts_with("__IMPORT_");
        case 'N': return name.starts_with("__NULL_IM");
        case 'i': return name.starts_with("__imp_");
        case 'r': return name.starts_with("__real@");
        default: return false;
    }
}

// The byte count after the last "@" of a "_"-prefixed name, divided by 4; 0 otherwise.
inline std::int32_t ParamCountFromName(std::string_view name) {
    if (name.empty() || name[0] != '_') return 0;
    const char* const begin = name.data();
    const char* const end = begin + name.size();
    const char* p = end;  // just after the last "@", found from the end where decorations are
    while (p != begin && p[-1] != '@') --p;
    if (p == begin) return 0;
    std::int64_t bytes = 0;
    if (p != end && *p >= '0' && *p <= '9') {
        // Plain decimal digits, as every stdcall name has them: read in place, wrapping as
        // ParseNumber does.
        std::uint64_t value = 0;
        for (; p != end && *p >= '0' && *p <= '9'; ++p) value = value * 10 + static_cast<std::uint64_t>(*p - '0');
        bytes = static_cast<std::int64_t>(value);
    } else {
        bytes = ParseNumber(std::string_view(p, static_cast<std::size_t>(end - p)));  // blanks, a sign, "$" or "%"
    }
    // Division truncates towards zero, as the count of a "_Proc@-6" must stay symmetric.
    return static_cast<std::int32_t>(bytes / 4);
}

// The identifier for the host language, before the one-underscore rule of the table.
std::string HostFunctionName(std::string_view name);

// The "PBFunctionName" cell: HostFunctionName with one leading "_" removed.
std::string PBFunctionNameFromSymbol(std::string_view name);

// Writes PBFunctionNameFromSymbol(name) to `out`, which has room for name.size() bytes, and
// returns its length: for listings of thousands of names, without a string for each.
std::size_t WritePBFunctionName(std::string_view name, char* out);

}  // namespace zandrel
