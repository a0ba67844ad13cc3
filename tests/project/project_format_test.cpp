#include <gtest/gtest.h>

#include "project/ProjectFormat.h"
#include "support/RandomText.h"

using namespace zandrel;

namespace {

ProjectSettings Settings() {
    ProjectSettings s;
    s.LibName = "user32.lib";
    s.LastPath = "C:\\libs\\";
    s.SavePath = "";
    s.CallingConvention = 1;
    s.Alias = 1;
    return s;
}

RowTable Rows() {
    RowTable t;
    t.rows.push_back({"TRUE", "_MessageBoxA@16", "MessageBoxA", "4", "shows a box"});
    t.rows.push_back({"FALSE", "_GetDC@4", "GetDC", "1", ""});
    return t;
}

}  // namespace

TEST(ProjectText, WrittenByteForByte) {
    EXPECT_EQ(WriteProjectText(Settings(), Rows()),
              "[Global]\r\n"
              "LibName = user32.lib\r\n"
              "LastPath = C:\\libs\\\r\n"
              "SavePath = \r\n"
              "CallingConvention = 1\r\n"
              "Alias = 1\r\n"
              "CountFunc = 2\r\n"
              "\r\n"
              "[Grid]\r\n"
              "Item_0 = TRUE|MessageBoxA|_MessageBoxA@16|4|shows a box\r\n"
              "Item_1 = FALSE|GetDC|_GetDC@4|1|\r\n");
    EXPECT_EQ(WriteProjectText(ProjectSettings{}, RowTable{}),
              "[Global]\r\nLibName = \r\nLastPath = \r\nSavePath = \r\nCallingConvention = 0\r\n"
              "Alias = 0\r\nCountFunc = 0\r\n\r\n[Grid]\r\n");
}

TEST(ProjectText, SaveThenOpenGivesTheSameTable) {
    ProjectData d = ReadProjectText(WriteProjectText(Settings(), Rows()));
    EXPECT_EQ(d.Settings.LibName, "user32.lib");
    EXPECT_EQ(d.Settings.LastPath, "C:\\libs\\");
    EXPECT_EQ(d.Settings.SavePath, "");
    EXPECT_EQ(d.Settings.CallingConvention, 1);
    EXPECT_EQ(d.Settings.Alias, 1);
    EXPECT_EQ(d.Rows, Rows().rows);
}

TEST(ProjectText, NoCellBreaksALineOrShiftsAField) {
    // Cells can hold what no editor lets through: a grid paste keeps a bare LF, a scroll stores
    // the editor's text unchecked, a library names its symbols as it likes. Only the comment may
    // keep a "|"; a line break becomes one blank, and none is left at either end.
    RowTable t;
    t.rows.push_back({"TR|UE", "_a|b@4", "a|b", "2|", "  spaced  "});
    t.rows.push_back({"TRUE\r\n", "_g\n@0", "first\r\nsecond", "1\r", "line one\nline two\r\n|x"});
    t.rows.push_back({"FALSE", "\r\n", "|", "", "\n\n"});
    ProjectSettings s = Settings();
    s.LibName = "odd\nname.lib";
    s.SavePath = "C:\\save\\\r\n";
    EXPECT_EQ(WriteProjectText(s, t),
              "[Global]\r\nLibName = odd name.lib\r\nLastPath = C:\\libs\\\r\nSavePath = C:\\save\\\r\n"
              "CallingConvention = 1\r\nAlias = 1\r\nCountFunc = 3\r\n\r\n[Grid]\r\n"
              "Item_0 = TRUE|ab|_ab@4|2|  spaced  \r\n"
              "Item_1 = TRUE|first second|_g @0|1|line one line two |x\r\n"
              "Item_2 = FALSE||||\r\n");
    ProjectData d = ReadProjectText(WriteProjectText(s, t));
    ASSERT_EQ(d.Rows.size(), 3u);
    EXPECT_EQ(d.Rows[0], (FunctionRow{"TRUE", "_ab@4", "ab", "2", "  spaced"}));  // only the line's ends are trimmed
    EXPECT_EQ(d.Rows[1], (FunctionRow{"TRUE", "_g @0", "first second", "1", "line one line two |x"}));
    EXPECT_EQ(d.Rows[2], (FunctionRow{"FALSE", "", "", "", ""}));
}

TEST(ProjectText, HandWrittenVariantsReadTheSame) {
    const char* text =
        "; written by hand\n"
        "  [global]\n"
        "libname=user32.lib\n"
        "\tLASTPATH\t=\tC:\\x\\ \t\n"
        "callingconvention = 2\r"
        "alias = 0\r\n"
        "countfunc = 3\n"
        "\n"
        "[GRID]\n"
        "item_0=TRUE|A|_A@4|1|c\n"
        "ITEM_1 =FALSE|B\n"
        "Item_3 = TRUE|past the count\n";
    ProjectData d = ReadProjectText(text);
    EXPECT_EQ(d.Settings.LibName, "user32.lib");
    EXPECT_EQ(d.Settings.LastPath, "C:\\x\\");
    EXPECT_EQ(d.Settings.CallingConvention, 2);
    ASSERT_EQ(d.Rows.size(), 3u);
    EXPECT_EQ(d.Rows[0], (FunctionRow{"TRUE", "_A@4", "A", "1", "c"}));
    EXPECT_EQ(d.Rows[1], (FunctionRow{"FALSE", "", "B", "", ""}));
    EXPECT_EQ(d.Rows[2], FunctionRow{});  // a gap below the last item: empty cells
}

TEST(ProjectText, MissingOrBrokenCountGivesNoRows) {
    EXPECT_TRUE(ReadProjectText("[Global]\nLibName = x\n[Grid]\nItem_0 = TRUE|a|b|0|\n").Rows.empty());
    EXPECT_TRUE(ReadProjectText("[Global]\nCountFunc = many\n[Grid]\nItem_0 = x\n").Rows.empty());
    EXPECT_TRUE(ReadProjectText("[Global]\nCountFunc = -4\n").Rows.empty());
    EXPECT_TRUE(ReadProjectText("").Rows.empty());
    EXPECT_EQ(ReadProjectText("[Global]\nCountFunc = 2x\n[Grid]\nItem_1 = a\n").Rows.size(), 2u);
    EXPECT_EQ(ReadProjectText("[Global]\nCountFunc = $10\n").Rows.size(), 0u);  // decimal only
    // Keys are looked up in their own group only.
    EXPECT_TRUE(ReadProjectText("[Grid]\nCountFunc = 2\nItem_0 = a\n").Rows.empty());
}

TEST(ProjectText, RowsStopAtTheLastItemPresent) {
    // A count of two thousand million over two items gives rows up to the last item only.
    ProjectData d = ReadProjectText("[Global]\nCountFunc = 2000000000\n[Grid]\nItem_0 = TRUE|a\nitem_4 = FALSE|e\n");
    ASSERT_EQ(d.Rows.size(), 5u);
    EXPECT_EQ(d.Rows[4], (FunctionRow{"FALSE", "", "e", "", ""}));
    EXPECT_EQ(d.Rows[2], FunctionRow{});
    // Only keys the reader would look up count: not a zero-padded index, not another group's.
    EXPECT_EQ(ReadProjectText("[Global]\nCountFunc = 99\n[Grid]\nItem_0 = a\nItem_07 = b\nItem_x9 = c\n"
                              "Item_ = d\n[Other]\nItem_50 = e\n").Rows.size(), 1u);
    EXPECT_TRUE(ReadProjectText("[Global]\nCountFunc = 99\n").Rows.empty());
    // An item far out still cannot make the table grow without bound.
    EXPECT_EQ(ReadProjectText("[Global]\nCountFunc = 2000000000\n[Grid]\nItem_1999999999 = x\n").Rows.size(),
              static_cast<std::size_t>(kMaxProjectRows));
}

TEST(ProjectText, Utf8MarkedFilesBecomeSingleByte) {
    ProjectData d = ReadProjectText(
        "\xEF\xBB\xBF[Global]\r\nLibName = caf\xC3\xA9.lib\r\nCountFunc = 1\r\n[Grid]\r\n"
        "Item_0 = TRUE|f|_f|0|\xE2\x82\xAC 5 \xE4\xB8\xAD\r\n");
    EXPECT_EQ(d.Settings.LibName, "caf\xE9.lib");
    ASSERT_EQ(d.Rows.size(), 1u);
    EXPECT_EQ(d.Rows[0][ColComment], "\x80 5 ?");
    // Without the mark the bytes stay as they are.
    EXPECT_EQ(ReadProjectText("[Global]\nLibName = caf\xC3\xA9\n").Settings.LibName, "caf\xC3\xA9");
}

TEST(Utf8ToSingleByte, BrokenSequencesBecomeQuestionMarks) {
    EXPECT_EQ(Utf8ToSingleByte("a\xC3"), "a?");
    EXPECT_EQ(Utf8ToSingleByte("\xC3(x"), "?(x");
    EXPECT_EQ(Utf8ToSingleByte("\xFF\xFE"), "??");
    EXPECT_EQ(Utf8ToSingleByte("\xF0\x9F\x98\x80!"), "?!");
    EXPECT_EQ(Utf8ToSingleByte("\xC2\xA0\xC5\xA0"), "\xA0\x8A");
    // Overlong forms of CR, LF and a blank, a surrogate and a code point past U+10FFFF.
    EXPECT_EQ(Utf8ToSingleByte("a\xC0\x8D\xC0\x8A" "b\xC0\xA0"), "a??b?");
    EXPECT_EQ(Utf8ToSingleByte("\xE0\x80\x8A|\xED\xA0\x80|\xF4\x90\x80\x80"), "?|?|?");
    ProjectData d = ReadProjectText("\xEF\xBB\xBF[Global]\nLibName = a\xC0\x8D\xC0\x8A" "b\xC0\xA0\n");
    EXPECT_EQ(d.Settings.LibName, "a??b?");
}

TEST(ProjectText, Utf8ValuesGoThroughTheGivenCodePage) {
    // A stand-in for Windows-1251: the reader hands the code page whole, well-formed characters.
    static std::u16string seen;
    seen.clear();
    WideToSingleByte cp1251 = [](std::u16string_view wide) {
        seen += wide;
        std::string out;
        for (char16_t c : wide) out += c >= 0x410 && c <= 0x44F ? static_cast<char>(c - 0x410 + 0xC0) : c < 0x80 ? static_cast<char>(c) : '?';
        return out;
    };
    ProjectData d = ReadProjectText(
        "\xEF\xBB\xBF[Global]\r\nLibName = \xD0\xB1\xD0\xB8\xD0\xB1.lib\r\nCountFunc = 1\r\n[Grid]\r\n"
        "Item_0 = TRUE|\xD0\xA4|_f|0|\xD0\xBE\xD0\xBA\xD0\xBD\xD0\xBE \xC0\x8D\r\n", cp1251);
    EXPECT_EQ(d.Settings.LibName, "\xE1\xE8\xE1.lib");
    ASSERT_EQ(d.Rows.size(), 1u);
    EXPECT_EQ(d.Rows[0], (FunctionRow{"TRUE", "_f", "\xD4", "0", "\xEE\xEA\xED\xEE ?"}));
    EXPECT_EQ(seen.find(u'\r'), std::u16string::npos);  // the overlong CR was refused before
    // Without a code page given, Windows-1252 stands in.
    EXPECT_EQ(ReadProjectText("\xEF\xBB\xBF[Global]\r\nLibName = \xD0\xB1\xC3\xA9\r\n").Settings.LibName, "?\xE9");
    EXPECT_EQ(Utf16ToCp1252(u"\u20AC\U0001F600x"), "\x80?x");
}

TEST(ProposedProjectName, KeepsTheLastDot) {
    EXPECT_EQ(ProposedProjectName("user32.lib"), "user32.zdx");
    EXPECT_EQ(ProposedProjectName("a.b.lib"), "a.b.zdx");
    EXPECT_EQ(ProposedProjectName("noext"), "noextzdx");
    EXPECT_EQ(ProposedProjectName("trail."), "trail.zdx");
    EXPECT_EQ(ProposedProjectName(""), "zdx");
}

TEST(ProjectText, RandomTablesSurviveSaveThenOpen) {
    // Within what the format can hold: no line ends anywhere, no "|" before the comment, no
    // blanks or tabs at the ends of a value (those are trimmed on reading). Any other byte goes.
    std::mt19937 rng(4101);
    const std::string any = ztest::BytesExcept("\r\n"), field = ztest::BytesExcept("\r\n|");
    auto value = [&](const std::string& alphabet, std::size_t max_len) {
        std::string v = ztest::RandomText(rng, alphabet, max_len);
        while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.erase(0, 1);
        while (!v.empty() && (v.back() == ' ' || v.back() == '\t')) v.pop_back();
        return v;
    };
    for (int i = 0; i < 300; ++i) {
        ProjectSettings s;
        s.LibName = value(any, 20);
        s.LastPath = value(any, 30);
        s.SavePath = value(any, 30);
        s.CallingConvention = static_cast<long long>(rng() % 3);
        s.Alias = static_cast<long long>(rng() % 2);
        RowTable t;
        const int rows = static_cast<int>(rng() % 40);
        for (int r = 0; r < rows; ++r)
            t.rows.push_back({rng() % 3 ? "TRUE" : "FALSE", value(field, 16), value(field, 16), value(field, 4),
                              value(any, 24)});
        ProjectData d = ReadProjectText(WriteProjectText(s, t));
        ASSERT_EQ(d.Rows, t.rows) << "case " << i;
        EXPECT_EQ(d.Settings.LibName, s.LibName);
        EXPECT_EQ(d.Settings.LastPath, s.LastPath);
        EXPECT_EQ(d.Settings.SavePath, s.SavePath);
        EXPECT_EQ(d.Settings.CallingConvention, s.CallingConvention);
        EXPECT_EQ(d.Settings.Alias, s.Alias);
    }
}
