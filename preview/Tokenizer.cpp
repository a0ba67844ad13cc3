#include "preview/Tokenizer.h"

#include <algorithm>
#include <cstdint>

namespace zandrel {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

// ASCII and the Latin-1 capitals, the letters the program's single-byte text has.
char LowerByte(char c) {
    auto u = static_cast<unsigned char>(c);
    if ((u >= 'A' && u <= 'Z') || (u >= 0xC0 && u <= 0xDE && u != 0xD7)) u += 0x20;
    return static_cast<char>(u);
}

std::string_view TrimSpaces(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

bool IsAscii(std::string_view s) {
    return std::all_of(s.begin(), s.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Flags that make a one-character entry end words like a separator.
constexpr int kDelimiterFlagMask = 0xFFFFF & ~0x10000;

}  // namespace

std::string Utf8ToLatin1(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        auto b = static_cast<unsigned char>(s[i]);
        std::size_t need = b >= 0xF8 ? 0 : b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
        if (need == 0 || i + need >= s.size()) {
            out += static_cast<char>(b);
            ++i;
            continue;
        }
        std::uint32_t cp = b & (0x3F >> need);
        bool ok = true;
        for (std::size_t k = 1; k <= need; ++k) {
            auto c = static_cast<unsigned char>(s[i + k]);
            if ((c & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (c & 0x3F);
        }
        if (!ok) {
            out += static_cast<char>(b);
            ++i;
            continue;
        }
        out += cp <= 0xFF ? static_cast<char>(cp) : '?';
        i += need + 1;
    }
    return out;
}

std::size_t WordMap::Slot(std::string_view key) {
    std::uint32_t h = 2166136261u;  // FNV-1a
    for (char c : key) h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
    return h % kSlots;
}

bool WordMap::Insert(const std::string& key, WordEntry* entry) {
    if (key.empty() || entry == nullptr) return false;
    auto& slot = slots_[Slot(key)];
    for (auto& [k, e] : slot) {
        if (k == key) {
            e = entry;
            return true;
        }
    }
    slot.emplace_back(key, entry);
    return true;
}

WordEntry* WordMap::Find(std::string_view key) const {
    if (key.empty()) return nullptr;
    for (const auto& [k, e] : slots_[Slot(key)]) {
        if (k == key) return e;
    }
    return nullptr;
}

void WordMap::Clear() {
    for (auto& s : slots_) s.clear();
}

std::string Styler::Key(std::string_view word) const {
    std::string key(TrimSpaces(word));
    if (!(options & OptionCaseSensitive)) {
        std::transform(key.begin(), key.end(), key.begin(), LowerByte);
    }
    return key;
}

const WordEntry* Styler::Find(std::string_view word) const { return wordMap.Find(Key(word)); }

int Styler::AddWords(std::string_view list, int style, int flags) {
    list = TrimSpaces(list);
    if (list.empty()) return 0;
    int count = 0;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = list.find(' ', start);
        if (end == std::string_view::npos) end = list.size();
        std::string_view word = list.substr(start, end - start);
        start = end + 1;
        std::string key = Key(word);
        WordEntry* entry = wordMap.Find(key);
        if (entry == nullptr) {
            words.emplace_back();
            entry = &words.back();
            if (!wordMap.Insert(key, entry)) {  // e.g. the empty word between two spaces
                words.pop_back();
                continue;
            }
        }
        entry->word = std::string(word);
        if (style != -1) entry->style = style;
        entry->flags |= flags;
        ++count;
    }
    RebuildCharEntries();
    return count;
}

bool Styler::AddDelimiter(std::string_view start, std::string_view end, int flags, int style) {
    if (start.empty() || (end.empty() && (flags & WordQuoted))) return false;
    if (AddWords(start, style, flags) == 0) return false;
    if (flags & WordQuoted) {
        if (WordEntry* entry = wordMap.Find(Key(start))) entry->endChar = end.front();
    }
    return true;
}

void Styler::SortWords() {
    if (options & OptionCaseSensitive) {
        words.sort([](const WordEntry& a, const WordEntry& b) { return a.word < b.word; });
    } else {
        words.sort([this](const WordEntry& a, const WordEntry& b) {
            return Key(a.word) < Key(b.word);
        });
    }
}

void Styler::RebuildCharEntries() {
    for (int c = 0; c < 256; ++c) {
        char ch = static_cast<char>(c);
        charEntries_[static_cast<std::size_t>(c)] =
            c == ' ' ? nullptr : wordMap.Find(Key(std::string_view(&ch, 1)));
    }
}

bool Styler::IsDelimiter(unsigned char c, const WordEntry** entry) const {
    const WordEntry* e = charEntries_[c];
    if (entry != nullptr) *entry = e;
    if (c == '\r' || c == '\n') return true;
    if (c != 0 && separators.find(static_cast<char>(c)) != std::string::npos) return true;
    return e != nullptr && (e->flags & kDelimiterFlagMask) != 0;
}

NumberScan Styler::ScanNumber(const char* text, std::size_t length) const {
    NumberScan scan;
    bool point = false;
    std::size_t i = 0;
    for (; i < length; ++i) {
        char c = text[i];
        if (c == '.') {  // before the delimiter test: "." is usually a separator
            if (point) return {};
            point = true;
        } else if (c >= '0' && c <= '9') {
            ++scan.digits;
        } else if (IsBlank(c) || IsDelimiter(static_cast<unsigned char>(c))) {
            break;
        } else {
            return {};
        }
    }
    scan.length = i;
    return scan;
}

StyleRun Styler::StyleToken(const char* text, std::size_t length) {
    const int carriedAtStart = carriedStyle;
    const auto first = static_cast<unsigned char>(text[0]);
    std::size_t n = 1;
    int s = kStyleDefault;
    const WordEntry* entry = nullptr;

    if (IsBlank(text[0])) {
        while (n < length && IsBlank(text[n])) ++n;
        s = carriedStyle;
    } else if (IsDelimiter(first, &entry)) {
        carriedStyle = kStyleDefault;
        s = entry != nullptr ? entry->style : kStyleDefault;
        NumberScan number;
        if (first == '.' && (number = ScanNumber(text, length)).digits > 0) {
            n = number.length;
            s = numberStyle;
        } else if (n < length && entry != nullptr) {
            if (entry->flags & WordQuoted) {
                int depth = 1;
                while (n < length) {
                    char c = text[n];
                    if (IsLineEnd(c)) break;  // an unclosed quote ends with its line
                    ++n;
                    if (c == entry->endChar) {
                        if (--depth == 0) break;
                    } else if (static_cast<unsigned char>(c) == first) {
                        ++depth;
                    }
                }
            } else if (entry->flags & WordComment) {
                while (n < length && !IsLineEnd(text[n])) ++n;
            } else if ((entry->flags & WordPrefixAcrossBlanks) ||
                       ((entry->flags & WordPrefix) && !IsBlank(text[1]))) {
                carriedStyle = entry->style;
            }
        }
    } else if (NumberScan number = ScanNumber(text, length); number.digits > 0) {
        carriedStyle = kStyleDefault;
        n = number.length;
        s = numberStyle;
    } else {
        // A word: up to the first blank or delimiter; that delimiter, if it has an entry, is
        // the word's follower.
        const WordEntry* follower = nullptr;
        std::size_t w = 1;
        while (w < length && !IsBlank(text[w]) &&
               !IsDelimiter(static_cast<unsigned char>(text[w]), &follower)) {
            ++w;
        }
        if (w >= length || IsBlank(text[w])) follower = nullptr;
        n = w;
        std::string_view raw(text, w);
        std::string ansi = IsAscii(raw) ? std::string(raw) : toAnsi(raw);
        std::string_view word = TrimSpaces(ansi);
        const WordEntry* known = nullptr;
        const WordEntry* edge = nullptr;
        if (carriedStyle != kStyleDefault) {  // a prefix came before
            s = carriedStyle;
            carriedStyle = kStyleDefault;
        } else if ((known = Find(word)) != nullptr) {
            s = known->style;
            carriedStyle = kStyleDefault;
        } else if (!word.empty() &&
                   (edge = CharEntry(static_cast<unsigned char>(word.front()))) != nullptr) {
            if (edge->flags & (WordPrefixAcrossBlanks | WordPrefix)) {
                s = edge->style;
                carriedStyle = kStyleDefault;
            } else {
                s = carriedAtStart;
            }
        } else if (!word.empty() &&
                   (edge = CharEntry(static_cast<unsigned char>(word.back()))) != nullptr) {
            if (edge->flags & (WordFollower | WordFollowerDirect)) {
                s = edge->style;
                carriedStyle = kStyleDefault;
            } else {
                s = carriedAtStart;
            }
        } else {
            std::size_t skipped = 0;
            if (follower == nullptr) {
                std::size_t j = w;
                while (j < length && IsBlank(text[j])) ++j;
                skipped = j - w;
                const WordEntry* next = nullptr;
                if (j < length && IsDelimiter(static_cast<unsigned char>(text[j]), &next)) {
                    follower = next;
                }
            }
            if (follower != nullptr && ((follower->flags & WordFollower) ||
                                        ((follower->flags & WordFollowerDirect) && skipped == 0))) {
                s = follower->style;
                n += skipped;
            } else {
                s = carriedAtStart;
            }
        }
    }
    if (!(behaviour & BehaviourApplyStyles)) s = kStyleDefault;
    return {n, s};
}

void Styler::StyleLine(std::string_view line, std::vector<StyleRun>& runs) {
    carriedStyle = kStyleDefault;
    std::size_t pos = 0;
    while (pos < line.size()) {
        StyleRun run = StyleToken(line.data() + pos, line.size() - pos);
        runs.push_back(run);
        pos += run.length;
    }
}

}  // namespace zandrel
