#include <gtest/gtest.h>

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
