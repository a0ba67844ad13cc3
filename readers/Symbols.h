// Decoding of the decorated names found in import libraries: which ones become rows, how many
// parameters a name carries and what the function is called in the host language.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zandrel {

// True for names that give no row: thunk terminators, import descriptors, "__imp_" pointer
// slots, floating-point constants and compiler-mangled names.
bool IsSkippedSymbol(std::string_view name);

// The byte count after the last "@" of a "_"-prefixed name, divided by 4; 0 otherwise.
std::int32_t ParamCountFromName(std::string_view name);

// The identifier for the host language, before the one-underscore rule of the table.
std::string HostFunctionName(std::string_view name);

// The "PBFunctionName" cell: HostFunctionName with one leading "_" removed.
std::string PBFunctionNameFromSymbol(std::string_view name);

// Writes PBFunctionNameFromSymbol(name) to `out`, which has room for name.size() bytes, and
// returns its length: for listings of thousands of names, without a string for each.
std::size_t WritePBFunctionName(std::string_view name, char* out);

}  // namespace zandrel
