#include "readers/Symbols.h"

#include "base/Number.h"

namespace zandrel {

namespace {
bool StartsWith(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}
bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }
}  // namespace

bool IsSkippedSymbol(std::string_view name) {
    if (!name.empty() && static_cast<unsigned char>(name[0]) == 0x7F) return true;
    return StartsWith(name, "__IMPORT_") || StartsWith(name, "__NULL_IM") ||
           StartsWith(name, "__imp_") || StartsWith(name, "__real@") || StartsWith(name, "?");
}

std::int32_t ParamCountFromName(std::string_view name) {
    if (!StartsWith(name, "_")) return 0;
    std::size_t at = name.rfind('@');
    if (at == std::string_view::npos) return 0;
    // Division truncates towards zero, as the count of a "_Proc@-6" must stay symmetric.
    std::int64_t bytes = ParseNumber(name.substr(at + 1));
    return static_cast<std::int32_t>(bytes / 4);
}

std::string HostFunctionName(std::string_view name) {
    std::string joined;
    std::size_t last_at = name.rfind('@');
    if (last_at != std::string_view::npos) {
        // Everything before the last "@", with every "@" removed.
        for (char c : name.substr(0, last_at))
            if (c != '@') joined += c;
    } else {
        joined.assign(name);
    }
    std::size_t start = 0;
    while (start < joined.size() && !IsAsciiLetter(joined[start]) && joined[start] != '_') ++start;
    std::string out;
    for (std::size_t i = start; i < joined.size(); ++i) {
        char c = joined[i] == ' ' ? '_' : joined[i];
        if (IsAsciiLetter(c) || IsAsciiDigit(c) || c == '_') out += c;
    }
    return out;
}

std::string PBFunctionNameFromSymbol(std::string_view name) {
    std::string host = HostFunctionName(name);
    if (!host.empty() && host[0] == '_') host.erase(0, 1);
    return host;
}

}  // namespace zandrel
