// What the preview colours and how: its styles, delimiters, keywords and separators. Shared by
// the preview's set-up and the tests that check its styling.
#pragma once

namespace zandrel {

// The preview's styles (indices into Scintilla's style table).
enum PreviewStyle : int {
    StyleKeyword = 1,
    StyleComment = 2,
    StyleString = 3,
    StyleNumber = 4,
    StyleDirective = 5,  // "#" and the word right after it
    StyleCall = 6,       // "(", ")" and a word followed by "("
};

struct PreviewDelimiter {
    const char* start;
    const char* end;
    int flags;
    int style;
};

// Registered in this order.
inline constexpr PreviewDelimiter kPreviewDelimiters[] = {
    {";", "", 0x2, StyleComment},
    {"\"", "\"", 0x1, StyleString},
    {"#", "", 0x8, StyleDirective},
    {"(", "", 0x10, StyleCall},
    {")", "", 0x0, StyleCall},
};

inline constexpr const char* kPreviewKeywords = "As Import ImportC EndImport";
inline constexpr const char* kPreviewSeparators = "=+-*/%()[],.";

}  // namespace zandrel
