// libFuzzer entry: any bytes as a symbol name. Checks what holds for every name: the filter
// never lets a pointer slot through and always keeps 64-bit and fastcall names, a count needs a
// "_" and an "@", the host name is a plain identifier, the table's cell is that name less one
// "_", and the text after the last "@" decides the count but never the name.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "readers/Symbols.h"

namespace {

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsIdentifierChar(char c) { return IsLetter(c) || (c >= '0' && c <= '9') || c == '_'; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zandrel;
    const std::string name(reinterpret_cast<const char*>(data), size);

    const bool skipped = IsSkippedSymbol(name);
    // Every import also has its "__imp_" slot; letting one through would double the rows.
    if (!IsSkippedSymbol("__imp_" + name)) std::abort();
    if (!name.empty() && (IsLetter(name[0]) || name[0] == '@') && skipped) std::abort();

    const std::int32_t count = ParamCountFromName(name);
    if (count != 0 && (name.empty() || name[0] != '_' || name.find('@') == std::string::npos))
        std::abort();

    const std::string host = HostFunctionName(name);
    if (host.size() > name.size()) std::abort();
    for (char c : host)
        if (!IsIdentifierChar(c)) std::abort();
    if (!host.empty() && !IsLetter(host[0]) && host[0] != '_') std::abort();
    if (HostFunctionName(host) != host) std::abort();

    // The table's cell is the host name less one leading "_" (and only one).
    const std::string pb = PBFunctionNameFromSymbol(name);
    if (pb != (!host.empty() && host[0] == '_' ? host.substr(1) : host)) std::abort();

    // A stdcall decoration added to any name: the byte count (with a remainder, which is
    // dropped) gives the count, and the name is what it would be without the number.
    std::uint32_t k = 0;
    for (unsigned char c : name) k = k * 31 + c;
    k %= 1000000;
    const std::string stem = "_" + name + "@";
    const std::string decorated = stem + std::to_string(4 * k + k % 4);
    if (ParamCountFromName(decorated) != static_cast<std::int32_t>(k)) std::abort();
    if (HostFunctionName(decorated) != HostFunctionName(stem)) std::abort();
    if (IsSkippedSymbol(decorated) != IsSkippedSymbol(stem)) std::abort();
    return 0;
}
