// libFuzzer entry: any text as a number. Where the digits fit in 64 bits the result must equal
// std::from_chars on the digits after blanks, sign and "$"/"%" prefix; everywhere (overlong
// numbers wrap) leading blanks change nothing and a "-" in front negates.
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "base/Number.h"

namespace {

// 0 when there are no digits; false when the digits do not fit in 64 bits.
bool Reference(std::string_view text, std::uint64_t& out) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int base = 10;
    if (i < text.size() && text[i] == '$') {
        base = 16;
        ++i;
    } else if (i < text.size() && text[i] == '%') {
        base = 2;
        ++i;
    }
    std::uint64_t value = 0;
    auto [end, ec] = std::from_chars(text.data() + i, text.data() + text.size(), value, base);
    (void)end;
    if (ec == std::errc::result_out_of_range) return false;
    if (ec != std::errc()) value = 0;  // no digits (from_chars also refuses a second sign)
    out = negative ? 0 - value : value;
    return true;
}

std::uint64_t Parse(std::string_view text) {
    return static_cast<std::uint64_t>(zandrel::ParseNumber(text));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::uint64_t got = Parse(text);

    std::uint64_t expected = 0;
    if (Reference(text, expected) && got != expected) std::abort();

    if (Parse(" \t" + text) != got) std::abort();
    if (!text.empty() && text[0] != ' ' && text[0] != '\t' && text[0] != '+' && text[0] != '-' &&
        Parse("-" + text) != 0 - got)
        std::abort();
    return 0;
}
