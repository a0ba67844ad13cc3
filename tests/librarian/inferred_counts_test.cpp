// Counts read from a DLL's code, keyed by the library's names: which ones are worth showing, the
// rule that lets them replace the library's, and how forwarded DLLs are found.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "librarian/InferredCounts.h"
#include "librarian/Librarian.h"
#include "support/CodeDll.h"
#include "support/PeBuilder.h"
#include "support/TempDir.h"

using namespace zandrel::librarian;
using namespace ztest;

namespace {

PeExports ExportsOf(const std::vector<std::pair<std::string, bool>>& names) {
    PeExports ex;
    for (const auto& [name, data] : names) {
        PeExport e;
        e.Name = name;
        e.Data = data;
        ex.Named.push_back(e);
    }
    return ex;
}

}  // namespace

TEST(InferredCounts, KeyedByTheLibrarysNamesAndOnlyWhatSaysSomething) {
    PeExports ex = ExportsOf({{"Open", false}, {"Log", false}, {"Guess", false}, {"Nothing", false},
                              {"Table", true}, {"_Done@4", false}, {"", false}, {"@Fast@8", false}});
    const std::vector<Signature> sigs = {{CallConvention::Stdcall, Certainty::Exact, 3, false},
                                         {CallConvention::Cdecl, Certainty::LowerBound, 1, true},
                                         {CallConvention::Cdecl, Certainty::LowerBound, 0, false},
                                         {},
                                         {CallConvention::Stdcall, Certainty::Exact, 1, false},
                                         {CallConvention::Stdcall, Certainty::Exact, 1, false},
                                         {CallConvention::Cdecl, Certainty::Exact, 2, false},
                                         {CallConvention::Cdecl, Certainty::Exact, 0, false}};
    InferredCounts x86 = CountsBySymbol(ex, Machine::X86, sigs);
    // The decorated name PlanImports gives, and the plain one a library without the count has.
    ASSERT_EQ(x86.count("_Open@12"), 1u);
    EXPECT_EQ(x86["_Open@12"].Count, 3u);
    EXPECT_EQ(x86["_Open@12"].Sure, Certainty::Exact);
    EXPECT_EQ(x86.count("_Open"), 1u);
    EXPECT_EQ(x86["_Log"].Sure, Certainty::LowerBound);
    EXPECT_EQ(x86["_Log"].Count, 1u);
    EXPECT_EQ(x86["_Done@4"].Count, 1u);  // already decorated: its own name
    // "at least 0", nothing known, data, nameless entries and fastcall names give nothing.
    EXPECT_EQ(x86.size(), 4u);
    InferredCounts x64 = CountsBySymbol(ex, Machine::X64, sigs);
    EXPECT_EQ(x64.count("Open"), 1u);
    EXPECT_EQ(x64.count("Log"), 1u);
    EXPECT_EQ(x64.size(), 3u);
    // Signatures that do not match the exports one for one give nothing.
    EXPECT_TRUE(CountsBySymbol(ex, Machine::X86, {sigs[0]}).empty());
}

TEST(InferredCounts, OnlyALibraryCountOfZeroGivesWay) {
    const InferredCounts counts = {{"_Log", {2, Certainty::LowerBound}}, {"_Init@0", {0, Certainty::Exact}}};
    const InferredCount* c = InferredCountFor(counts, "_Log", 0);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->Count, 2u);
    EXPECT_EQ(InferredCountFor(counts, "_Log", 3), nullptr);  // the library's own count stands
    EXPECT_EQ(InferredCountFor(counts, "_Other", 0), nullptr);
    ASSERT_NE(InferredCountFor(counts, "_Init@0", 0), nullptr);  // exactly none is worth saying
    EXPECT_EQ(InferredCountFor({}, "_Log", 0), nullptr);
}

TEST(InferredCounts, ForwardedDllsAreFoundInTheFoldersInTurn) {
    TempDir first, second;
    const std::string x86 = BuildPe(PeSpec{}).Bytes;
    PeSpec wide;
    wide.Pe32Plus = true;
    const std::string x64 = BuildPe(wide).Bytes;
    first.Write("Other.DLL", x64);  // the wrong machine: passed over
    second.Write("other.dll", x86);
    second.Write("text.dll", "MZ but nothing more");
    second.Write("plain.drv", x86);
    ImageLoader load = FolderImageLoader({first.File(""), "", second.File("")}, Machine::X86);
    FileBytes image;
    ASSERT_TRUE(load("OTHER", image));
    EXPECT_EQ(image.View(), x86);
    image.clear();
    EXPECT_TRUE(load("other", image));  // the second time from where it was found
    EXPECT_EQ(image.View(), x86);
    EXPECT_TRUE(load("PLAIN.drv", image));
    EXPECT_FALSE(load("text", image));
    EXPECT_FALSE(load("missing", image));
    EXPECT_FALSE(load("", image));
    EXPECT_TRUE(FolderImageLoader({first.File("")}, Machine::X64)("other", image));
    EXPECT_EQ(image.View(), x64);
}

TEST(InferredCounts, AFoundDllIsReadAgainUnderTheSameChecks) {
    TempDir dir;
    const std::string x86 = BuildPe(PeSpec{}).Bytes;
    PeSpec wide;
    wide.Pe32Plus = true;
    dir.Write("other.dll", x86);
    ImageLoader load = FolderImageLoader({dir.File("")}, Machine::X86);
    FileBytes image;
    ASSERT_TRUE(load("other", image));
    image.clear();  // lets go of the file: Windows keeps a mapped one from being rewritten
    // Replaced by an image for the other machine, then by no image: the place is remembered,
    // the file is not taken as it now stands.
    dir.Write("other.dll", BuildPe(wide).Bytes);
    EXPECT_FALSE(load("OTHER", image));
    EXPECT_EQ(image.View(), "");
    dir.Write("other.dll", "MZ but nothing more");
    EXPECT_FALSE(load("other", image));
    dir.Write("other.dll", x86);
    EXPECT_TRUE(load("other", image));
    EXPECT_EQ(image.View(), x86);
    // Looked for once: a DLL that was nowhere stays unfound for this loader.
    EXPECT_FALSE(load("late", image));
    dir.Write("late.dll", x86);
    EXPECT_FALSE(load("late", image));
    EXPECT_TRUE(FolderImageLoader({dir.File("")}, Machine::X86)("late", image));
}

TEST(InferredCounts, TheFolderOfABareDllNameIsTheCurrentOne) {
    EXPECT_EQ(FolderOfDll("user32.dll"), ".");
    EXPECT_EQ(FolderOfDll("libs/user32.dll"), "libs/");
    EXPECT_EQ(FolderOfDll("C:\\Windows\\user32.dll"), "C:\\Windows\\");
}

TEST(InferredCounts, ReadFromADllFile) {
    TempDir dir;
    // ret 8: stdcall, two slots.
    const std::string dll = dir.Write("code.dll", DllWithCode(false, {{"Pair", "\xC2\x08\x00"}}));
    InferredCounts counts;
    std::string error;
    ASSERT_TRUE(InferDllCounts(dll, {}, counts, error)) << error;
    ASSERT_EQ(counts.count("_Pair@8"), 1u);
    EXPECT_EQ(counts["_Pair@8"].Count, 2u);
    EXPECT_EQ(counts["_Pair@8"].Sure, Certainty::Exact);

    EXPECT_FALSE(InferDllCounts(dir.Write("text.dll", "not an image"), {}, counts, error));
    EXPECT_EQ(error, dir.File("text.dll") + ": not a PE image (no MZ header)");
    EXPECT_TRUE(counts.empty());
    EXPECT_FALSE(InferDllCounts(dir.File("missing.dll"), {}, counts, error));
    EXPECT_EQ(error.rfind(dir.File("missing.dll") + ": ", 0), 0u) << error;
    PeImage arm = BuildPe(PeSpec{});
    arm.Set16(arm.Coff, 0x1C4);
    EXPECT_FALSE(InferDllCounts(dir.Write("arm.dll", arm.Bytes), {}, counts, error));
}

TEST(InferredCounts, TheLibraryBuiltFromTheDllCarriesTheStdcallCount) {
    TempDir dir;
    const std::string dll = dir.Write("code.dll", DllWithCode(false, {{"Pair", "\xC2\x08\x00"}, {"Done", "\xC2\x04\x00"}}));
    BuildReport report;
    std::string error;
    ASSERT_TRUE(BuildImportLibraryFile(dll, Machine::X86, dir.File("code.lib"), 0, report, error)) << error;
    EXPECT_EQ(report.Functions, 2u);
    ASSERT_EQ(report.Counts.count("_Pair@8"), 1u);
    EXPECT_EQ(report.Counts["_Done@4"].Count, 1u);
    const std::string lib = ReadFile(dir.File("code.lib"));
    EXPECT_NE(lib.find(std::string("_Pair@8\0code.dll", 16)), std::string::npos);
    EXPECT_NE(lib.find(std::string("__imp__Done@4\0", 14)), std::string::npos);
}
