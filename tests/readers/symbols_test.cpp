#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/Number.h"
#include "readers/Symbols.h"

using namespace zandrel;

TEST(IsSkippedSymbol, BookkeepingAndMangledNamesAreSkipped) {
    for (const char* name : {"__imp__MessageBoxA@16", "__imp_CreateFileW", "__NULL_IMPORT_DESCRIPTOR",
                             "__IMPORT_DESCRIPTOR_user32", "__real@3ff0000000000000", "?Proc@@YAXXZ",
                             "\x7fuser32_NULL_THUNK_DATA"})
        EXPECT_TRUE(IsSkippedSymbol(name)) << name;
}

TEST(IsSkippedSymbol, FunctionsAndDataAreKept) {
    for (const char* name : {"_MessageBoxA@16", "_printf", "@FastProc@8", "CreateFileW", "",
                             "__imp", "__NULL_I", "__IMPORT", "__real", "_?x", "__Proc@8"})
        EXPECT_FALSE(IsSkippedSymbol(name)) << name;
}

TEST(ParamCountFromName, StdcallByteCountsDividedByFour) {
    EXPECT_EQ(ParamCountFromName("_MessageBoxA@16"), 4);
    EXPECT_EQ(ParamCountFromName("_Proc@6"), 1);
    EXPECT_EQ(ParamCountFromName("_Proc@0"), 0);
    EXPECT_EQ(ParamCountFromName("_Proc@x"), 0);
    EXPECT_EQ(ParamCountFromName("_Proc@1@12"), 3);  // the last "@" counts
    EXPECT_EQ(ParamCountFromName("_Proc@$10"), 4);   // the general number reader
    EXPECT_EQ(ParamCountFromName("_Proc@-6"), -1);   // truncation towards zero
    EXPECT_EQ(ParamCountFromName("_Proc@"), 0);
}

TEST(ParamCountFromName, OnlyUnderscoreNamesCarryACount) {
    EXPECT_EQ(ParamCountFromName("@FastProc@8"), 0);
    EXPECT_EQ(ParamCountFromName("Proc@8"), 0);
    EXPECT_EQ(ParamCountFromName("_printf"), 0);
    EXPECT_EQ(ParamCountFromName("CreateFileW"), 0);
    EXPECT_EQ(ParamCountFromName(""), 0);
}

TEST(HostFunctionName, DecorationsAndForeignCharactersRemoved) {
    EXPECT_EQ(HostFunctionName("_MessageBoxA@16"), "_MessageBoxA");
    EXPECT_EQ(HostFunctionName("@FastProc@8"), "FastProc");
    EXPECT_EQ(HostFunctionName("_Proc@1@12"), "_Proc1");
    EXPECT_EQ(HostFunctionName("_Proc$2@4"), "_Proc2");
    EXPECT_EQ(HostFunctionName("$Proc"), "Proc");
    EXPECT_EQ(HostFunctionName("1Proc"), "Proc");
    EXPECT_EQ(HostFunctionName("12_a"), "_a");
    EXPECT_EQ(HostFunctionName("My Proc"), "My_Proc");
    EXPECT_EQ(HostFunctionName("a.b-c"), "abc");
    EXPECT_EQ(HostFunctionName("\xe4Proc\xf6"), "Proc");  // bytes above 127 are no letters
    EXPECT_EQ(HostFunctionName("@@@"), "");
    EXPECT_EQ(HostFunctionName("123"), "");
    EXPECT_EQ(HostFunctionName(""), "");
}

TEST(PBFunctionNameFromSymbol, RemovesOneLeadingUnderscore) {
    EXPECT_EQ(PBFunctionNameFromSymbol("_MessageBoxA@16"), "MessageBoxA");
    EXPECT_EQ(PBFunctionNameFromSymbol("_printf"), "printf");
    EXPECT_EQ(PBFunctionNameFromSymbol("__Proc@8"), "_Proc");
    EXPECT_EQ(PBFunctionNameFromSymbol("CreateFileW"), "CreateFileW");
    EXPECT_EQ(PBFunctionNameFromSymbol("@FastProc@8"), "FastProc");
    EXPECT_EQ(PBFunctionNameFromSymbol("9_x"), "x");  // the underscore found by the letter scan
    EXPECT_EQ(PBFunctionNameFromSymbol("..."), "");
}

namespace {

// The host-name rules taken literally, one step after the other, to hold the one-pass decoding to.
std::string ReferenceHostName(const std::string& name) {
    std::string joined = name;
    std::size_t last_at = name.rfind('@');
    if (last_at != std::string::npos) {
        joined.clear();
        for (char c : name.substr(0, last_at))
            if (c != '@') joined += c;
    }
    auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    std::size_t start = 0;
    while (start < joined.size() && !letter(joined[start]) && joined[start] != '_') ++start;
    std::string out;
    for (std::size_t i = start; i < joined.size(); ++i) {
        char c = joined[i] == ' ' ? '_' : joined[i];
        if (letter(c) || (c >= '0' && c <= '9') || c == '_') out += c;
    }
    return out;
}

bool ReferenceSkipped(const std::string& name) {
    auto starts = [&](const std::string& p) { return name.compare(0, p.size(), p) == 0 && name.size() >= p.size(); };
    return (!name.empty() && static_cast<unsigned char>(name[0]) == 0x7F) || starts("__IMPORT_") ||
           starts("__NULL_IM") || starts("__imp_") || starts("__real@") || starts("?");
}

}  // namespace

namespace {
// WritePBFunctionName into a buffer of exactly the name's size between guard bytes.
std::string WrittenName(const std::string& name) {
    std::string buffer = "<" + std::string(name.size(), '#') + ">";
    const std::size_t n = WritePBFunctionName(name, buffer.data() + 1);
    EXPECT_LE(n, name.size()) << "[" << name << "]";
    EXPECT_EQ(buffer.front(), '<');
    EXPECT_EQ(buffer.back(), '>') << "written beyond the name's size: [" << name << "]";
    return buffer.substr(1, n);
}
}  // namespace

TEST(HostFunctionName, EveryByteValueAsTheRulesSay) {
    // Bytes outside the short alphabet below: zero, controls, and those above 127, which a
    // signed char would make negative, each alone and between letters.
    for (int c = 0; c < 256; ++c) {
        const std::string b(1, static_cast<char>(c));
        for (const std::string& name : {b, "_A" + b + "b@8", b + "x", "_" + b + b + "_@" + b, "@" + b + "@4"}) {
            const std::string host = ReferenceHostName(name);
            ASSERT_EQ(HostFunctionName(name), host) << "byte " << c;
            const std::string pb = !host.empty() && host[0] == '_' ? host.substr(1) : host;
            ASSERT_EQ(PBFunctionNameFromSymbol(name), pb) << "byte " << c;
            ASSERT_EQ(WrittenName(name), pb) << "byte " << c;
        }
        // At every place of a long name, where whole words of it are taken at once.
        for (std::size_t at = 0; at < 20; ++at) {
            std::string name = "_ABCDEFGHIJklmnopqrs@12";
            name[at] = static_cast<char>(c);
            const std::string host = ReferenceHostName(name);
            ASSERT_EQ(HostFunctionName(name), host) << "byte " << c << " at " << at;
            ASSERT_EQ(WrittenName(name), !host.empty() && host[0] == '_' ? host.substr(1) : host)
                << "byte " << c << " at " << at;
        }
    }
}

TEST(HostFunctionName, EveryShortNameAsTheRulesSayStepByStep) {
    // Every name of up to five characters over the characters the rules treat apart.
    const std::string alphabet = "_@a1 $?\x7f";
    std::vector<std::string> names = {""};
    for (std::size_t begin = 0, length = 0; length < 5; ++length) {
        const std::size_t end = names.size();
        for (std::size_t i = begin; i < end; ++i)
            for (char c : alphabet) names.push_back(names[i] + c);
        begin = end;
    }
    for (const std::string& name : names) {
        const std::string host = ReferenceHostName(name);
        ASSERT_EQ(HostFunctionName(name), host) << "[" << name << "]";
        const std::string pb = !host.empty() && host[0] == '_' ? host.substr(1) : host;
        ASSERT_EQ(PBFunctionNameFromSymbol(name), pb) << "[" << name << "]";
        ASSERT_EQ(WrittenName(name), pb) << "[" << name << "]";
        ASSERT_EQ(IsSkippedSymbol(name), ReferenceSkipped(name)) << "[" << name << "]";
    }
    for (const char* name : {"__IMPORT_DESCRIPTOR_x", "__NULL_IMPORT_DESCRIPTOR", "__imp__A@4", "__real@3ff0",
                             "__IMPORT", "__NULL_I", "__imp", "__real", "__A@4", "_A@4", "A"})
        EXPECT_EQ(IsSkippedSymbol(name), ReferenceSkipped(name)) << name;
}

TEST(ParamCountFromName, EveryShortCountAsTheGeneralNumberRulesRead) {
    // The count after the last "@" of every "_" name, read as the general number rules read it
    // (blanks, signs, "$" and "%" included), for every count text of up to five characters.
    const std::string alphabet = "09@ -+$%aF";
    std::vector<std::string> texts = {""};
    for (std::size_t begin = 0, length = 0; length < 5; ++length) {
        const std::size_t end = texts.size();
        for (std::size_t i = begin; i < end; ++i)
            for (char c : alphabet) texts.push_back(texts[i] + c);
        begin = end;
    }
    for (const std::string& text : texts) {
        const std::string name = "_Proc@" + text;
        const std::string count = name.substr(name.rfind('@') + 1);
        ASSERT_EQ(ParamCountFromName(name), static_cast<std::int32_t>(ParseNumber(count) / 4)) << "[" << name << "]";
        ASSERT_EQ(ParamCountFromName("Proc@" + text), 0) << "[" << text << "]";
    }
    // Digits beyond 64 bits wrap the same way.
    const std::string huge = "_P@99999999999999999999999";
    EXPECT_EQ(ParamCountFromName(huge), static_cast<std::int32_t>(ParseNumber("99999999999999999999999") / 4));
}
