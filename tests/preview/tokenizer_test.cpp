// The preview's tokenizer, configured as the preview configures it, on single lines and on a
// whole generated import block.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "preview/PreviewStyle.h"
#include "preview/Tokenizer.h"
#include "table/ImportSource.h"

using namespace zandrel;

namespace {

void ConfigureAsPreview(Styler& s) {
    for (const auto& d : kPreviewDelimiters) s.AddDelimiter(d.start, d.end, d.flags, d.style);
    s.AddWords(kPreviewKeywords, StyleKeyword, 0);
    s.separators = kPreviewSeparators;
    s.numberStyle = StyleNumber;
}

// Lines as the editor splits them: after LF, or after a CR not followed by LF.
std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        bool end = text[i] == '\n' || (text[i] == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n'));
        if (end) {
            lines.push_back(text.substr(start, i + 1 - start));
            start = i + 1;
        }
    }
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

std::vector<StyleRun> Runs(Styler& s, std::string_view text) {
    std::vector<StyleRun> runs;
    for (auto line : Lines(text)) s.StyleLine(line, runs);
    return runs;
}

// One character per byte: "-" for the default style, else the style's digit.
std::string Mask(Styler& s, std::string_view text) {
    std::string mask;
    for (const auto& r : Runs(s, text)) {
        mask.append(r.length, r.style == kStyleDefault ? '-' : static_cast<char>('0' + r.style));
    }
    return mask;
}

class PreviewTokenizer : public ::testing::Test {
protected:
    void SetUp() override { ConfigureAsPreview(s); }
    std::string M(std::string_view text) { return Mask(s, text); }
    Styler s;
};

TEST_F(PreviewTokenizer, KeywordsIgnoreCaseButMatchWholeWords) {
    EXPECT_EQ(M("endimport ENDIMPORT Importer EndImport"),
              "111111111-111111111----------111111111");
    EXPECT_EQ(M("ImportC As as xAs"), "1111111-11-11----");
}

TEST_F(PreviewTokenizer, QuotedTextKeepsBothQuotesAndStopsAtTheLineEnd) {
    EXPECT_EQ(M("Import \"user32.lib\"\r\n"), "111111-333333333333--");
    EXPECT_EQ(M("Import \"user32 ; (x)\r\nEndImport\r\n"), "111111-3333333333333--111111111--");
    EXPECT_EQ(M("\"a\"\"b\""), "333333");  // two strings back to back
}

TEST_F(PreviewTokenizer, CommentRunsToTheLineBreakOnly) {
    EXPECT_EQ(M("x ; a (b) \"c\" 12 #d\r\nAs"), "--22222222222222222--11");
    EXPECT_EQ(M(";\r\n"), "2--");
    EXPECT_EQ(M("12;x\n"), "4422-");
}

TEST_F(PreviewTokenizer, WordBeforeAnOpeningParenthesisTakesItsStyleWithTheBlanks) {
    EXPECT_EQ(M("name("), "66666");
    EXPECT_EQ(M("name   (a)"), "66666666-6");
    EXPECT_EQ(M("f\t (x, y)"), "6666----6");
    EXPECT_EQ(M("name  x"), "-------");
    EXPECT_EQ(M("a.i)"), "---6");
}

TEST_F(PreviewTokenizer, NumbersWithOnePointAtMost) {
    EXPECT_EQ(M("12 3.5 .5 1.2.3 16h"), "44-444-44---444----");
    std::vector<StyleRun> runs = Runs(s, "1.2.3");
    EXPECT_EQ(runs, (std::vector<StyleRun>{{1, 32}, {1, 32}, {3, 4}}));
    EXPECT_EQ(M("x=5,6"), "--4-4");
    EXPECT_EQ(M("12abc 5."), "------44");
}

TEST_F(PreviewTokenizer, NumberSignColoursTheWordDirectlyAfterIt) {
    EXPECT_EQ(M("#word"), "55555");
    EXPECT_EQ(M("# word"), "5-----");
    EXPECT_EQ(M("#word x"), "55555--");
    EXPECT_EQ(M("#name(1)"), "55555646");  // the prefix wins over the parenthesis
}

TEST_F(PreviewTokenizer, ScanNumberAndIsDelimiter) {
    auto scan = [&](std::string_view t) {
        auto r = s.ScanNumber(t.data(), t.size());
        return std::make_pair(r.length, r.digits);
    };
    EXPECT_EQ(scan("3.5"), std::make_pair(std::size_t{3}, 2));
    EXPECT_EQ(scan("12 x"), std::make_pair(std::size_t{2}, 2));
    EXPECT_EQ(scan("7)"), std::make_pair(std::size_t{1}, 1));
    EXPECT_EQ(scan("1.2.3").first, 0u);
    EXPECT_EQ(scan("5x").first, 0u);
    EXPECT_EQ(scan("").first, 0u);

    const WordEntry* e = nullptr;
    EXPECT_TRUE(s.IsDelimiter('\r') && s.IsDelimiter('\n') && s.IsDelimiter('%'));
    EXPECT_TRUE(s.IsDelimiter('#', &e));
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->style, StyleDirective);
    EXPECT_TRUE(s.IsDelimiter(')', &e));  // a separator, and it has an entry
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->style, StyleCall);
    EXPECT_TRUE(s.IsDelimiter('%', &e));
    EXPECT_EQ(e, nullptr);
    EXPECT_FALSE(s.IsDelimiter('a') || s.IsDelimiter(' ') || s.IsDelimiter('@'));

    Styler plain;
    plain.AddWords("x", 7, 0x10000);
    plain.AddWords("y", 7, 0);
    plain.AddWords("z", 7, 0x100000);  // above the low 20 bits
    EXPECT_FALSE(plain.IsDelimiter('x') || plain.IsDelimiter('y') || plain.IsDelimiter('z'));
    plain.AddWords("y", -1, 0x20);
    EXPECT_TRUE(plain.IsDelimiter('y'));
}

// The generated block, token by token.
TEST_F(PreviewTokenizer, GeneratedImportBlockRunByRun) {
    RowTable table;
    table.rows = {{"TRUE", "_DoThing@8", "DoThing", "2", ""},
                  {"FALSE", "_Skipped@4", "Skipped", "1", ""},
                  {"TRUE", "_Other@0", "Other", "0", "first call"}};
    ImportOptions options;
    options.LibName = "mylib.lib";
    options.Now = [] { return ClockTime{2013, 2, 4, 9, 5}; };
    std::string text = GenerateImportSource(table, options);

    using R = std::vector<StyleRun>;
    const R eol{{1, 32}, {1, 32}};
    auto line = [&](R r) {
        r.insert(r.end(), eol.begin(), eol.end());
        return r;
    };
    std::vector<R> expected = {
        eol,
        line({{20, 2}}),
        line({{28, 2}}),
        line({{6, 1}, {1, 32}, {11, 3}}),
        line({{2, 32}, {7, 6}, {1, 6}, {1, 32}, {1, 32}, {1, 32}, {1, 32}, {1, 32}, {1, 32},
              {1, 32}, {1, 32}, {1, 6}, {1, 32}, {2, 1}, {1, 32}, {12, 3}}),
        line({{2, 32}, {5, 6}, {1, 6}, {1, 6}, {1, 32}, {2, 1}, {1, 32}, {10, 3}, {1, 32},
              {12, 2}}),
        line({{9, 1}}),
    };
    auto lines = Lines(text);
    ASSERT_EQ(lines.size(), expected.size()) << text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        R runs;
        s.StyleLine(lines[i], runs);
        EXPECT_EQ(runs, expected[i]) << "line " << i << ": " << lines[i];
    }

    options.CallingConvention = "CDECL";
    options.Alias = true;
    text = GenerateImportSource(table, options);
    EXPECT_EQ(M(text), "--"
                       "22222222222222222222--"
                       "2222222222222222222222222222--"
                       "1111111-33333333333--"
                       "--66666666--------6--"
                       "--6666666-222222222222--"
                       "111111111--");
}

TEST_F(PreviewTokenizer, CarriedStyleEndsWithTheLine) {
    // A number sign at the end of a line must not colour the first word of the next one.
    EXPECT_EQ(M("#\r\nword"), "5------");
}

TEST(Styler, NestedQuotesPrefixesAndDirectFollowers) {
    Styler s;
    s.AddDelimiter("{", "}", WordQuoted, 7);
    s.AddDelimiter("@", "", WordPrefixAcrossBlanks, 8);
    s.AddDelimiter("[", "", WordFollowerDirect, 9);
    EXPECT_EQ(Mask(s, "{a{b}c}d"), "7777777-");
    EXPECT_EQ(Mask(s, "{a{b}c\nd"), "777777--");
    EXPECT_EQ(Mask(s, "@  foo bar"), "888888----");
    EXPECT_EQ(Mask(s, "f[ g ["), "99---9");
    EXPECT_FALSE(s.AddDelimiter("'", "", WordQuoted, 3));  // a quote needs its end
    EXPECT_FALSE(s.AddDelimiter("", "x", 0, 3));
    EXPECT_EQ(s.CharEntry('\''), nullptr);
}

TEST(Styler, RegistrationCountsMergesFlagsAndSkipsEmptyWords) {
    Styler s;
    EXPECT_EQ(s.AddWords("  alpha  Beta gamma ", 3, 0x1), 3);  // "alpha", "Beta", "gamma"
    EXPECT_EQ(s.words.size(), 3u);
    EXPECT_EQ(s.AddWords("ALPHA", -1, 0x4), 1);
    ASSERT_NE(s.Find("Alpha"), nullptr);
    EXPECT_EQ(s.Find("alpha")->word, "ALPHA");
    EXPECT_EQ(s.Find("alpha")->style, 3);
    EXPECT_EQ(s.Find("alpha")->flags, 0x5);
    EXPECT_EQ(s.AddWords("   ", 1, 0), 0);
    EXPECT_EQ(s.words.size(), 3u);

    s.SortWords();
    std::vector<std::string> order;
    for (const auto& w : s.words) order.push_back(w.word);
    EXPECT_EQ(order, (std::vector<std::string>{"ALPHA", "Beta", "gamma"}));
    EXPECT_EQ(s.Find("BETA"), &*std::next(s.words.begin()));  // the map survives sorting
}

TEST(Styler, MapHoldsFarMoreWordsThanSlots) {
    Styler s;
    std::string list;
    for (int i = 0; i < 3000; ++i) list += "w" + std::to_string(i) + " ";
    EXPECT_EQ(s.AddWords(list, 5, 0), 3000);
    for (int i = 0; i < 3000; i += 7) {
        const WordEntry* e = s.Find("W" + std::to_string(i));
        ASSERT_NE(e, nullptr) << i;
        EXPECT_EQ(e->word, "w" + std::to_string(i));
    }
    EXPECT_EQ(s.Find("w3000"), nullptr);
}

TEST(Styler, CaseSensitiveOptionAndBehaviourBit) {
    Styler s;
    s.options = OptionCaseSensitive;
    s.AddWords("EndImport", 1, 0);
    EXPECT_EQ(Mask(s, "EndImport endimport"), "111111111----------");
    s.behaviour = 4;
    EXPECT_EQ(Mask(s, "EndImport"), "---------");
}

TEST(Styler, NonAsciiWordsAreLookedUpAsSingleByteText) {
    Styler s;
    s.AddWords("caf\xE9", 1, 0);                            // single-byte, as the program registers
    EXPECT_EQ(Mask(s, "caf\xC3\xA9 CAF\xC3\x89"), "11111-11111");  // UTF-8, as the editor holds
    EXPECT_EQ(Utf8ToLatin1("a\xC3\xA9\xE2\x82\xAC\xFF"), "a\xE9?\xFF");
    EXPECT_EQ(Utf8ToLatin1("\xC3"), "\xC3");
}

}  // namespace
