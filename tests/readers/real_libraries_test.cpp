// Libraries nobody here wrote: Microsoft's librarian (shared test data) and MinGW's own
// GNU-format import libraries.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "readers/ImportLib.h"
#include "table/FunctionTable.h"

using namespace zandrel;

namespace {

std::string TestData(const std::string& name) { return std::string(ZANDREL_TESTDATA) + "/" + name; }

bool Exists(const std::string& p) {
    std::error_code ec;
    return std::filesystem::exists(p, ec);
}

const SymbolEntry* Find(const SymbolList& list, const std::string& name) {
    for (const SymbolEntry& e : list)
        if (e.Name == name) return &e;
    return nullptr;
}

}  // namespace

TEST(MicrosoftLibraries, Sdl2X86) {
    std::string path = TestData("SDL2_x86.lib");
    if (!Exists(path)) GTEST_SKIP() << "no shared test data";
    SymbolList list;
    ASSERT_EQ(ReadLibFile(path, list), ReadStatus::Ok);
    EXPECT_EQ(list.size(), 536u);
    const SymbolEntry* e = Find(list, "_SDL_AddEventWatch");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->ParamCount, 0);
    EXPECT_EQ(DefaultRowCells(*e)[ColPBFunctionName], "SDL_AddEventWatch");
    // The second linker member is sorted; the list keeps that order.
    EXPECT_TRUE(std::is_sorted(list.begin(), list.end(),
                               [](const SymbolEntry& a, const SymbolEntry& b) { return a.Name < b.Name; }));
    for (const SymbolEntry& s : list) EXPECT_NE(s.Name.rfind("__imp_", 0), 0u) << s.Name;
}

TEST(MicrosoftLibraries, Glew32X86AndX64) {
    std::string x86 = TestData("glew32_x86.lib"), x64 = TestData("glew32_x64.lib");
    if (!Exists(x86) || !Exists(x64)) GTEST_SKIP() << "no shared test data";
    SymbolList list;
    ASSERT_EQ(ReadLibFile(x86, list), ReadStatus::Ok);
    EXPECT_EQ(list.size(), 7u);
    const SymbolEntry* e = Find(list, "_glewGetErrorString@4");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->ParamCount, 1);
    EXPECT_EQ(DefaultRowCells(*e)[ColPBFunctionName], "glewGetErrorString");
    e = Find(list, "_glewInit@0");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->ParamCount, 0);
    EXPECT_EQ(DefaultRowCells(*e)[ColPBFunctionName], "glewInit");

    ASSERT_EQ(ReadLibFile(x64, list), ReadStatus::Ok);
    EXPECT_EQ(list.size(), 7u);
    EXPECT_NE(Find(list, "glewInit"), nullptr);
    for (const SymbolEntry& s : list) EXPECT_EQ(s.ParamCount, 0) << s.Name;
}

namespace {

// MinGW's libuser32.a: only a first linker member. Every function once, no pointer slots and no
// bookkeeping names.
void CheckMingwUser32(const std::string& folder, const std::string& message_box) {
    std::string path = folder + "/libuser32.a";
    if (!Exists(path)) GTEST_SKIP() << "no MinGW libraries at " << folder;
    SymbolList list;
    ASSERT_EQ(ReadLibFile(path, list), ReadStatus::Ok);
    EXPECT_GT(list.size(), 500u);
    std::set<std::string> seen;
    for (const SymbolEntry& e : list) {
        EXPECT_TRUE(seen.insert(e.Name).second) << "twice: " << e.Name;
        EXPECT_EQ(e.Name.find("__imp_"), std::string::npos) << e.Name;
        EXPECT_EQ(e.Name.find("_head_"), std::string::npos) << e.Name;
        EXPECT_EQ(e.Name.find("_iname"), std::string::npos) << e.Name;
    }
    EXPECT_TRUE(std::is_sorted(list.begin(), list.end(),
                               [](const SymbolEntry& a, const SymbolEntry& b) { return a.Name < b.Name; }));
    EXPECT_NE(Find(list, message_box), nullptr);
}

}  // namespace

TEST(MingwLibraries, User32I686) {
    CheckMingwUser32(ZANDREL_MINGW32_LIB, "_MessageBoxA@16");
    SymbolList list;
    ReadLibFile(std::string(ZANDREL_MINGW32_LIB) + "/libuser32.a", list);
    const SymbolEntry* e = Find(list, "_MessageBoxA@16");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->ParamCount, 4);
}

TEST(MingwLibraries, User32X86_64) { CheckMingwUser32(ZANDREL_MINGW64_LIB, "MessageBoxA"); }
