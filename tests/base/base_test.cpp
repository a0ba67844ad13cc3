#include <gtest/gtest.h>

#include "base/Number.h"
#include "base/Path.h"

using namespace zandrel;

TEST(ParseNumber, DecimalWithBlanksSignsAndStops) {
    EXPECT_EQ(ParseNumber("42"), 42);
    EXPECT_EQ(ParseNumber(" \t 17abc"), 17);
    EXPECT_EQ(ParseNumber("-3"), -3);
    EXPECT_EQ(ParseNumber("+8"), 8);
    EXPECT_EQ(ParseNumber("12 34"), 12);
    EXPECT_EQ(ParseNumber("1.5"), 1);
}

TEST(ParseNumber, HexAndBinaryPrefixes) {
    EXPECT_EQ(ParseNumber("$1F"), 31);
    EXPECT_EQ(ParseNumber("$ff"), 255);
    EXPECT_EQ(ParseNumber("-$10"), -16);
    EXPECT_EQ(ParseNumber("%101"), 5);
    EXPECT_EQ(ParseNumber("%102"), 2);  // stops at the first non-binary digit
    EXPECT_EQ(ParseNumber("1F"), 1);    // hex digits only after "$"
}

TEST(ParseNumber, NoDigitsReadAsZero) {
    EXPECT_EQ(ParseNumber(""), 0);
    EXPECT_EQ(ParseNumber("abc"), 0);
    EXPECT_EQ(ParseNumber("-"), 0);
    EXPECT_EQ(ParseNumber("$"), 0);
    EXPECT_EQ(ParseNumber("%"), 0);
    EXPECT_EQ(ParseNumber(" \t"), 0);
    EXPECT_EQ(ParseNumber("- 5"), 0);  // blanks only before the sign
}

TEST(ParseNumber, HugeValuesDoNotTrap) {
    // Only the absence of undefined behaviour matters here (UBSan watches the native run).
    (void)ParseNumber("99999999999999999999999999999999");
    (void)ParseNumber("-$FFFFFFFFFFFFFFFFFFFF");
    EXPECT_EQ(ParseNumber("4294967296"), 4294967296LL);
}

TEST(Path, SplitsAtLastSeparatorAndDot) {
    EXPECT_EQ(FolderPart("C:\\libs\\user32.lib"), "C:\\libs\\");
    EXPECT_EQ(FilePart("C:\\libs\\user32.lib"), "user32.lib");
    EXPECT_EQ(ExtensionPart("C:\\libs\\user32.lib"), "lib");
    EXPECT_EQ(FolderPart("/tmp/x/a.b.lib"), "/tmp/x/");
    EXPECT_EQ(FilePart("/tmp/x/a.b.lib"), "a.b.lib");
    EXPECT_EQ(ExtensionPart("a.b.lib"), "lib");
    EXPECT_EQ(FolderPart("plain.lib"), "");
    EXPECT_EQ(FilePart("C:\\libs\\"), "");
    EXPECT_EQ(ExtensionPart("C:\\my.dir\\noext"), "");  // a dot in a folder is no extension
    EXPECT_EQ(ExtensionPart("name."), "");
}

TEST(Path, NewExtensionKeepsTheLastDot) {
    EXPECT_EQ(WithNewExtension("mylib.lib", "pbi"), "mylib.pbi");
    EXPECT_EQ(WithNewExtension("a.b.lib", "pbi"), "a.b.pbi");
    EXPECT_EQ(WithNewExtension("noext", "pbi"), "noextpbi");
    EXPECT_EQ(WithNewExtension("", "zdx"), "zdx");
}

TEST(Path, TrailingSeparator) {
    EXPECT_EQ(WithTrailingSeparator("C:\\x"), "C:\\x\\");
    EXPECT_EQ(WithTrailingSeparator("C:\\x\\"), "C:\\x\\");
    EXPECT_EQ(WithTrailingSeparator("/tmp/"), "/tmp/");
    EXPECT_EQ(WithTrailingSeparator(""), "");
}

#include "base/CommandLine.h"
#include "support/RandomText.h"

#if defined(_WIN32)
#include <windows.h>
#include <shellapi.h>
#endif

TEST(CommandLine, PathsSurviveTheRoundTrip) {
    const std::vector<std::vector<std::string>> cases = {
        {"C:\\libs\\user32.lib", "C:\\libs\\", "D:\\My Source\\"},
        {"C:\\Program Files\\x.zdx", "C:\\with blank\\", ""},
        {"a\"b", "ends with \\\\", "\\\\server\\share\\"},
        {"", "tab\there", "quote at end\""},
    };
    for (const auto& args : cases) EXPECT_EQ(SplitCommandLine(JoinCommandLine(args)), args);
}

TEST(CommandLine, RandomParametersOfANewInstanceParseBack) {
    // File, LastPath and SavePath as a new instance is given them: blanks, tabs, quotes and
    // runs of backslashes anywhere, trailing backslashes, empty parameters.
    std::mt19937 rng(20261208);
    const std::string alphabet = "aZ09 \t\\\\\\\":._-";
    for (int i = 0; i < 3000; ++i) {
        std::vector<std::string> params;
        for (int k = 0; k < 3; ++k) params.push_back(ztest::RandomText(rng, alphabet, 12));
        const std::string line = JoinCommandLine(params);
        ASSERT_EQ(SplitCommandLine(line), params) << line;
#if defined(_WIN32)
        // The system's own split of the same line, as the started program's runtime does it.
        std::wstring wide = L"zandrel.exe " + std::wstring(line.begin(), line.end());
        int argc = 0;
        LPWSTR* argv = CommandLineToArgvW(wide.c_str(), &argc);
        ASSERT_EQ(argc, 4) << line;
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(std::wstring(argv[k + 1]), std::wstring(params[k].begin(), params[k].end())) << line;
        LocalFree(argv);
#endif
    }
}

TEST(CommandLine, QuotingOnlyWhereNeeded) {
    EXPECT_EQ(QuoteArgument("plain"), "plain");
    EXPECT_EQ(QuoteArgument("C:\\dir\\"), "C:\\dir\\");  // no quote follows: backslashes stay
    EXPECT_EQ(QuoteArgument("C:\\my dir\\"), "\"C:\\my dir\\\\\"");
    EXPECT_EQ(QuoteArgument(""), "\"\"");
    EXPECT_EQ(QuoteArgument("a\"b"), "\"a\\\"b\"");
}

TEST(CommandLine, SplitFollowsTheRuntimeRules) {
    // The naive form a folder with a trailing backslash takes: the quote is escaped.
    EXPECT_EQ(SplitCommandLine("\"C:\\a.lib\" \"C:\\x\\\" \"C:\\y\\\""),
              (std::vector<std::string>{"C:\\a.lib", "C:\\x\" C:\\y\""}));
    EXPECT_EQ(SplitCommandLine("  a\tb  "), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(SplitCommandLine("a\\\\\\\"b"), (std::vector<std::string>{"a\\\"b"}));
    EXPECT_EQ(SplitCommandLine("\"a\"\"b\""), (std::vector<std::string>{"a\"b"}));
    EXPECT_EQ(SplitCommandLine("\"\""), (std::vector<std::string>{""}));
    EXPECT_TRUE(SplitCommandLine("   ").empty());
}
