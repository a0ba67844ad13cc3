#include <gtest/gtest.h>

#include "table/FunctionTable.h"
#include "table/ImportSource.h"
#include "support/RandomText.h"

using namespace zandrel;

namespace {

ImportOptions Options(const std::string& convention = "STDCALL", bool alias = false) {
    ImportOptions o;
    o.LibName = "mylib.lib";
    o.CallingConvention = convention;
    o.Alias = alias;
    o.Now = [] { return ClockTime{2013, 2, 4, 9, 5}; };
    return o;
}

RowTable Example() {
    RowTable t;
    t.rows.push_back({"TRUE", "_DoThing@8", "DoThing", "2", ""});
    t.rows.push_back({"TRUE", "_Other@0", "Other", "0", "first call"});
    return t;
}

const std::string kHeader =
    "\r\n; Libname: mylib.lib\r\n; created: 2013/02/04  09:05\r\n";

// The declaration line a single selected row gives, without the header around it.
std::string LineFor(const std::string& params, const std::string& comment = "", bool alias = false) {
    RowTable t;
    t.rows.push_back({"TRUE", "_F@4", "F", params, comment});
    std::string out = GenerateImportSource(t, Options("STDCALL", alias));
    std::size_t start = out.find("\"\r\n") + 3;
    return out.substr(start, out.find("EndImport") - start);
}

}  // namespace

TEST(GenerateImportSource, TheWorkedExampleExactly) {
    EXPECT_EQ(GenerateImportSource(Example(), Options()),
              kHeader +
                  "Import \"mylib.lib\"\r\n"
                  "  DoThing(a.i, b.i) As \"_DoThing@8\"\r\n"
                  "  Other() As \"_Other@0\" ; first call\r\n"
                  "EndImport\r\n");
}

TEST(GenerateImportSource, AliasOptionAndConventions) {
    EXPECT_EQ(GenerateImportSource(Example(), Options("STDCALL", true)),
              kHeader +
                  "Import \"mylib.lib\"\r\n"
                  "  DoThing(a.i, b.i)\r\n"
                  "  Other() ; first call\r\n"
                  "EndImport\r\n");
    std::string cdecl = GenerateImportSource(Example(), Options("CDECL"));
    EXPECT_NE(cdecl.find("\r\nImportC \"mylib.lib\"\r\n"), std::string::npos);
    std::string fastcall = GenerateImportSource(Example(), Options("FASTCALL"));
    EXPECT_NE(fastcall.find("\r\nImport \"mylib.lib\"\r\n"), std::string::npos);
    EXPECT_NE(GenerateImportSource(Example(), Options("cdecl")).find("\r\nImport \""), std::string::npos);
}

TEST(GenerateImportSource, EmptyTableGivesEmptyText) {
    EXPECT_EQ(GenerateImportSource(RowTable{}, Options()), "");
}

TEST(GenerateImportSource, OnlyExactTrueSelects) {
    RowTable t;
    t.rows.push_back({"true", "_a", "a", "0", ""});
    t.rows.push_back({"TRUE ", "_b", "b", "0", ""});
    t.rows.push_back({"", "_c", "c", "0", ""});
    t.rows.push_back({"FALSE", "_d", "d", "0", ""});
    EXPECT_EQ(GenerateImportSource(t, Options()), kHeader + "Import \"mylib.lib\"\r\nEndImport\r\n");
}

TEST(GenerateImportSource, ParameterListFromTheCell) {
    EXPECT_EQ(LineFor("0"), "  F() As \"_F@4\"\r\n");
    EXPECT_EQ(LineFor(""), "  F() As \"_F@4\"\r\n");
    EXPECT_EQ(LineFor("abc"), "  F() As \"_F@4\"\r\n");
    EXPECT_EQ(LineFor("-3"), "  F() As \"_F@4\"\r\n");
    EXPECT_EQ(LineFor("1"), "  F(a.i) As \"_F@4\"\r\n");
    EXPECT_EQ(LineFor(" $3"), "  F(a.i, b.i, c.i) As \"_F@4\"\r\n");
    EXPECT_EQ(LineFor("2x"), "  F(a.i, b.i) As \"_F@4\"\r\n");
    std::string fifteen = LineFor("15");
    EXPECT_NE(fifteen.find("n.i, o.i)"), std::string::npos);
    EXPECT_EQ(fifteen.find("p.i"), std::string::npos);
    std::string all;
    for (char c = 'a'; c <= 'z'; ++c) all += std::string(all.empty() ? "" : ", ") + c + ".i";
    EXPECT_EQ(LineFor("26"), "  F(" + all + ") As \"_F@4\"\r\n");
    EXPECT_EQ(LineFor("30"), "  F(" + all + ") As \"_F@4\"\r\n");
    EXPECT_EQ(LineFor("99"), "  F(" + all + ") As \"_F@4\"\r\n");
}

TEST(GenerateImportSource, CellsCopiedAsTheyAre) {
    EXPECT_EQ(LineFor("0", " "), "  F() As \"_F@4\" ;  \r\n");
    EXPECT_EQ(LineFor("0", "x \"y\""), "  F() As \"_F@4\" ; x \"y\"\r\n");
    RowTable t;
    t.rows.push_back({"TRUE", "we\"ird name", "", "1", ""});
    std::string out = GenerateImportSource(t, Options());
    EXPECT_NE(out.find("\r\n  (a.i) As \"we\"ird name\"\r\n"), std::string::npos);
    EXPECT_EQ(out.front(), '\r');
    EXPECT_EQ(out.substr(out.size() - 11), "EndImport\r\n");
}

TEST(GenerateImportSource, LineBreaksInCellsStayInsideTheirLine) {
    // A pasted or stored cell, or a library's symbol, may hold CR or LF; each run becomes one
    // blank and the declaration stays one line.
    RowTable t;
    t.rows.push_back({"TRUE", "_a\r\n@4", "Do\nThing", "1", "first\r\nsecond\n"});
    t.rows.push_back({"TRUE", "_b@0", "\rB\r\n", "0", "\r\n"});
    ImportOptions o = Options();
    o.LibName = "my\nlib.lib";
    EXPECT_EQ(GenerateImportSource(t, o),
              "\r\n; Libname: my lib.lib\r\n; created: 2013/02/04  09:05\r\nImport \"my lib.lib\"\r\n"
              "  Do Thing(a.i) As \"_a @4\" ; first second\r\n"
              "  B() As \"_b@0\"\r\n"
              "EndImport\r\n");
}

TEST(ClockTime, UtcFromEpochAndFormat) {
    EXPECT_EQ(FormatCreated(UtcClockTime(0)), "1970/01/01  00:00");
    EXPECT_EQ(FormatCreated(UtcClockTime(1360000000)), "2013/02/04  17:46");
    EXPECT_EQ(FormatCreated(UtcClockTime(951782400 + 3599)), "2000/02/29  00:59");  // leap day
    EXPECT_EQ(FormatCreated(UtcClockTime(4102444800LL)), "2100/01/01  00:00");  // past 2038
    EXPECT_EQ(FormatCreated(UtcClockTime(-60)), "1969/12/31  23:59");
}

TEST(DefaultRowCells, FromASymbol) {
    EXPECT_EQ(DefaultRowCells({"_MessageBoxA@16", 4}),
              (FunctionRow{"TRUE", "_MessageBoxA@16", "MessageBoxA", "4", ""}));
    EXPECT_EQ(DefaultRowCells({"__Proc@8", 2}), (FunctionRow{"TRUE", "__Proc@8", "_Proc", "2", ""}));
    EXPECT_EQ(DefaultRowCells({"...", 0}), (FunctionRow{"TRUE", "...", "", "0", ""}));
    EXPECT_EQ(DefaultRowCells({"_x@-4", -1})[ColParameter], "-1");
}

TEST(GenerateImportSource, LinesAreFivePlusTheSelectedRows) {
    // Blank line, two comment lines, Import and EndImport around one line per selected row,
    // whatever the cells hold (short of line ends, which a cell cannot take).
    std::mt19937 rng(77);
    const std::string text = ztest::BytesExcept("\r\n");
    const std::vector<std::string> checks = {"TRUE", "FALSE", "", "true", "TRUE "};
    for (int i = 0; i < 500; ++i) {
        RowTable t;
        const int rows = 1 + static_cast<int>(rng() % 30);
        int selected = 0;
        for (int r = 0; r < rows; ++r) {
            const std::string& check = checks[rng() % checks.size()];
            selected += IsSelectedText(check);
            t.rows.push_back({check, ztest::RandomText(rng, text, 12), ztest::RandomText(rng, text, 12),
                              ztest::RandomText(rng, rng() % 2 ? "0123456789" : text, 3),
                              ztest::RandomText(rng, text, 12)});
        }
        ImportOptions o = Options(rng() % 2 ? "CDECL" : "STDCALL", rng() % 2);
        o.LibName = ztest::RandomText(rng, text, 10);
        const std::string out = GenerateImportSource(t, o);
        std::size_t lines = 0;
        for (std::size_t at = out.find("\r\n"); at != std::string::npos; at = out.find("\r\n", at + 2)) ++lines;
        EXPECT_EQ(lines, static_cast<std::size_t>(5 + selected)) << "case " << i;
        EXPECT_EQ(out.size() >= 2 ? out.substr(out.size() - 2) : out, "\r\n");
    }
}
