// The preview's own syntax colouring: registered words and delimiters, and the tokenizer that
// turns one line of text into (length, style) runs. No Windows here: the Scintilla glue in
// StyledEditor.cpp feeds lines in and hands the runs to SCI_SETSTYLING.
#pragma once
#include <array>
#include <cstddef>
#include <list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zandrel {

// Scintilla's STYLE_DEFAULT; as a carried style it means "none".
constexpr int kStyleDefault = 32;

// Flags of a WordEntry (OR-ed together over repeated registrations).
enum WordFlag : int {
    WordQuoted = 0x1,                // runs from this character to the entry's end character
    WordComment = 0x2,               // runs to the end of the line
    WordPrefixAcrossBlanks = 0x4,    // the next token takes this entry's style
    WordPrefix = 0x8,                // the next word takes this style when it follows directly
    WordFollower = 0x10,             // a word before this character takes its style (blanks too)
    WordFollowerDirect = 0x20,       // as WordFollower, only without blanks between
};

// Bits of Styler::options (and of the options given to CreateStyledEditor).
enum StylerOption : int {
    OptionLineNumbers = 1,  // keep a line-number margin wide enough (used by the Scintilla glue)
    OptionCaseSensitive = 2,
};

// Bit of Styler::behaviour: when clear, every token gets kStyleDefault.
constexpr int BehaviourApplyStyles = 1;

struct WordEntry {
    std::string word;  // as registered
    int style = kStyleDefault;
    int flags = 0;
    char endChar = 0;  // closing character of a quoted delimiter
};

// Key -> entry, with a fixed number of hash slots (collisions chain within a slot). Empty keys
// are refused.
class WordMap {
public:
    static constexpr std::size_t kSlots = 512;
    bool Insert(const std::string& key, WordEntry* entry);
    WordEntry* Find(std::string_view key) const;
    void Clear();

private:
    static std::size_t Slot(std::string_view key);
    std::array<std::vector<std::pair<std::string, WordEntry*>>, kSlots> slots_;
};

struct NumberScan {
    std::size_t length = 0;  // 0: not a number
    int digits = 0;
};

struct StyleRun {
    std::size_t length = 0;
    int style = kStyleDefault;
    bool operator==(const StyleRun&) const = default;
};

// Converts UTF-8 (as the editor holds text) to the program's single-byte text, for word lookup.
using ToAnsiFunction = std::string (*)(std::string_view utf8);

// UTF-8 to ISO 8859-1; code points above 255 become "?" and malformed bytes pass unchanged. The
// default for builds without a system code page (the Win32 glue installs the real one).
std::string Utf8ToLatin1(std::string_view utf8);

class Styler {
public:
    Styler() = default;
    Styler(const Styler&) = delete;  // the map points into `words`
    Styler& operator=(const Styler&) = delete;

    int options = 0;
    int behaviour = 5;
    std::string separators;
    int numberStyle = kStyleDefault;
    std::list<WordEntry> words;  // a list, so that sorting keeps the map's pointers valid
    WordMap wordMap;
    int carriedStyle = kStyleDefault;
    ToAnsiFunction toAnsi = Utf8ToLatin1;

    // Registers the words of a blank-separated list; returns how many were registered.
    int AddWords(std::string_view list, int style, int flags);
    // A delimiter: registered only when `start` is not empty and, for a quoted one, `end` is not
    // empty; a quoted delimiter ends at the first byte of `end`. Returns whether it registered.
    bool AddDelimiter(std::string_view start, std::string_view end, int flags, int style);
    // Sorts the word list by word (ignoring case unless case-sensitive).
    void SortWords();
    // The lookup key: lower case unless case-sensitive.
    std::string Key(std::string_view word) const;
    const WordEntry* Find(std::string_view word) const;
    // The entry registered for a single character, or null.
    const WordEntry* CharEntry(unsigned char c) const { return charEntries_[c]; }

    // CR, LF, a separator, or a character registered with delimiter flags. `entry` receives the
    // character's entry (null when it has none).
    bool IsDelimiter(unsigned char c, const WordEntry** entry = nullptr) const;
    NumberScan ScanNumber(const char* text, std::size_t length) const;
    // Styles the token at the start of `text` (length >= 1); returns its length (>= 1) and style.
    StyleRun StyleToken(const char* text, std::size_t length);
    // One line (end-of-line characters included, or cut short): carried style reset, then token
    // after token until the line is covered without gaps.
    void StyleLine(std::string_view line, std::vector<StyleRun>& runs);

private:
    void RebuildCharEntries();
    std::array<const WordEntry*, 256> charEntries_{};
};

}  // namespace zandrel
