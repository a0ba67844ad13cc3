// Seeded random text for property tests: a fixed seed gives the same cases on every run, so a
// failure can be replayed.
#pragma once
#include <random>
#include <string>
#include <string_view>

namespace ztest {

inline std::string RandomText(std::mt19937& rng, std::string_view alphabet, std::size_t max_len) {
    std::size_t len = std::uniform_int_distribution<std::size_t>(0, max_len)(rng);
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::string out;
    for (std::size_t i = 0; i < len; ++i) out += alphabet[pick(rng)];
    return out;
}

// Every byte from 1 to 255 except those in `without`.
inline std::string BytesExcept(std::string_view without) {
    std::string out;
    for (int c = 1; c < 256; ++c)
        if (without.find(static_cast<char>(c)) == std::string_view::npos) out += static_cast<char>(c);
    return out;
}

}  // namespace ztest
