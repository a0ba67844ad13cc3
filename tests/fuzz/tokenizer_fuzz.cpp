// libFuzzer entry: any text for the preview's tokenizer. Whatever the text and whatever words
// and delimiters are registered, the runs of a line cover each of its bytes exactly once, in
// order, and carry only styles that were registered (or the default and number styles).
//
// Input: when the first byte is 0, the rest up to the first line feed registers entries, one per
// record separated by 1 bytes: flags, style, end character, then the words (flags 0xFF: the
// words are the separators; flags 0xFE: case-sensitive). Otherwise the tokenizer is set up as the
// preview sets it up, and the whole input is the text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "preview/PreviewStyle.h"
#include "preview/Tokenizer.h"

namespace {

using namespace zandrel;

void ConfigureAsPreview(Styler& s) {
    for (const PreviewDelimiter& d : kPreviewDelimiters)
        s.AddDelimiter(d.start, d.end, d.flags, d.style);
    s.AddWords(kPreviewKeywords, StyleKeyword, 0);
    s.separators = kPreviewSeparators;
    s.numberStyle = StyleNumber;
}

void Configure(Styler& s, std::string_view records) {
    s.numberStyle = 9;
    while (!records.empty()) {
        std::size_t end = records.find('\x01');
        std::string_view r = records.substr(0, end);
        records = end == std::string_view::npos ? std::string_view() : records.substr(end + 1);
        if (r.size() < 3) continue;
        const auto flags = static_cast<unsigned char>(r[0]);
        const int style = static_cast<unsigned char>(r[1]) % 40 - 1;  // -1 keeps the style
        const std::string_view endChar = r.substr(2, 1), words = r.substr(3);
        if (flags == 0xFF) {
            s.separators = std::string(words);
        } else if (flags == 0xFE) {
            s.options |= OptionCaseSensitive;
        } else if (flags & WordQuoted) {
            s.AddDelimiter(words, endChar, flags, style);
        } else {
            s.AddWords(words, style, flags);
        }
    }
}

// Lines as the editor splits them: after LF, or after a CR not followed by LF.
std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))) {
            lines.push_back(text.substr(start, i + 1 - start));
            start = i + 1;
        }
    }
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    // The preview's set-up is made once: styling a line starts afresh, whatever came before.
    static Styler preview;
    static const bool configured = (ConfigureAsPreview(preview), true);
    (void)configured;
    Styler own;
    Styler* chosen = &preview;
    if (!text.empty() && text[0] == '\0') {
        const std::size_t lf = text.find('\n');
        const bool text_follows = lf != std::string_view::npos;
        Configure(own, text.substr(1, text_follows ? lf - 1 : std::string_view::npos));
        text = text_follows ? text.substr(lf + 1) : std::string_view();
        chosen = &own;
    }
    Styler& styler = *chosen;
    std::set<int> styles = {kStyleDefault, styler.numberStyle};
    for (const WordEntry& w : styler.words) styles.insert(w.style);

    std::vector<StyleRun> runs;
    for (std::string_view line : Lines(text)) {
        runs.clear();
        styler.StyleLine(line, runs);
        std::size_t covered = 0;
        for (const StyleRun& run : runs) {
            if (run.length == 0 || run.length > line.size() - covered) std::abort();
            if (styles.count(run.style) == 0) std::abort();
            covered += run.length;
        }
        if (covered != line.size()) std::abort();
    }

    // Decoding for the word lookup never makes text longer.
    if (Utf8ToLatin1(text).size() > text.size()) std::abort();
    return 0;
}
