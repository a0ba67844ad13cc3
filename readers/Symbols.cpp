#include "readers/Symbols.h"

#include <cstring>

#include "base/Number.h"

namespace zandrel {

namespace {
constexpr bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
constexpr bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }
}  // namespace

namespace {
// What each byte becomes in a host name: letters, digits and "_" stay, a blank becomes "_",
// anything else (0) is left out. A table turns the copy into one load and store per byte.
struct HostChars {
    char to[256] = {};
    constexpr HostChars() {
        for (int c = 0; c < 256; ++c) {
            const char ch = static_cast<char>(c);
            if (IsAsciiLetter(ch) || IsAsciiDigit(ch) || ch == '_') to[c] = ch;
        }
        to[static_cast<unsigned char>(' ')] = '_';
    }
};
constexpr HostChars kHostChars;

// True when each of the eight bytes in `w` is an ASCII letter, digit or "_". Per byte of 7 bits,
// x + (0x80 - lo) sets the top bit exactly when x >= lo and x + (0x7F - hi) when x > hi; no
// byte carries into the next.
constexpr bool AllIdentifierBytes(std::uint64_t w) {
    constexpr std::uint64_t ones = 0x0101010101010101ull, top = 0x8080808080808080ull;
    if (w & top) return false;
    auto in = [](std::uint64_t x, unsigned lo, unsigned hi) {
        return (x + (0x80 - lo) * ones) & ~(x + (0x7F - hi) * ones) & top;
    };
    const std::uint64_t kept = in(w, '0', '9') | in(w | 0x20 * ones, 'a', 'z') | in(w, '_', '_');
    return kept == top;
}

// One pass over the name straight into `out`: this runs for every row of a library.
// `dropUnderscore` applies the table's rule of one leading "_" removed.
std::size_t WriteHostName(std::string_view name, bool dropUnderscore, char* out) {
    // Everything before the last "@" (near the end in decorated names), every "@" removed.
    const char* p = name.data();
    const char* end = p + name.size();
    for (const char* q = end; q != p;)
        if (*--q == '@') {
            end = q;
            break;
        }
    // Leading characters go up to the first letter or "_" ("@" is no letter).
    while (p != end && !IsAsciiLetter(*p) && *p != '_') ++p;
    if (dropUnderscore && p != end && *p == '_') ++p;
    char* to = out;
    // Eight bytes at a time while all of them stay as they are (the usual case: a plain
    // identifier), then byte by byte through the table.
    for (; end - p >= 8; p += 8, to += 8) {
        std::uint64_t word;
        std::memcpy(&word, p, 8);
        if (!AllIdentifierBytes(word)) break;
        std::memcpy(to, p, 8);
    }
    for (; p != end; ++p) {
        // Stored always, kept only when it is a character of the name: no branch to mispredict.
        const char c = kHostChars.to[static_cast<unsigned char>(*p)];
        *to = c;
        to += c != 0;
    }
    return static_cast<std::size_t>(to - out);
}

std::string HostName(std::string_view name, bool dropUnderscore) {
    std::string out(name.size(), '\0');
    out.resize(WriteHostName(name, dropUnderscore, out.data()));
    return out;
}
}  // namespace

std::string HostFunctionName(std::string_view name) { return HostName(name, false); }

std::string PBFunctionNameFromSymbol(std::string_view name) { return HostName(name, true); }

std::size_t WritePBFunctionName(std::string_view name, char* out) { return WriteHostName(name, true, out); }

}  // namespace zandrel
