// polib run as a separate program, as Zandrel runs it: the command line, the library it leaves
// in its working folder, and what it leaves when it fails.
#ifdef _WIN32
#include <windows.h>
#endif
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "base/Version.h"
#include "librarian/Librarian.h"
#include "readers/ImportLib.h"
#include "support/PeBuilder.h"
#include "support/RunProgram.h"
#include "support/TempDir.h"

using namespace zandrel::librarian;
using namespace ztest;

namespace {

using Result = ProgramResult;

class Polib : public ::testing::Test {
protected:
    TempDir dir, io;

    // Runs polib in `dir` with `args` exactly as written (quotes included); its output files live
    // beside `dir` so they never show in its listing.
    Result Run(const std::string& args) { return RunProgram(ZANDREL_POLIB, args, io.File(""), dir.File("")); }
    std::vector<std::string> Listing() {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir.File(""))) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::vector<std::string> Symbols(const std::string& lib) {
        zandrel::SymbolList list;
        EXPECT_EQ(zandrel::ReadLibFile(dir.File(lib), list), zandrel::ReadStatus::Ok) << lib;
        std::vector<std::string> names;
        for (const auto& e : list) names.push_back(e.Name);
        return names;
    }
};


}  // namespace

TEST(PolibCommandLine, TheFormZandrelUses) {
    PolibCommand c = ParsePolibCommand({"C:\\libs\\user32.dll", "/MACHINE:X86", "/NOUND", "/OUT:user32.lib"});
    EXPECT_EQ(c.Action, PolibCommand::Build);
    EXPECT_EQ(c.Dll, "C:\\libs\\user32.dll");
    EXPECT_EQ(c.Target, Machine::X86);
    EXPECT_EQ(c.Out, "user32.lib");
    c = ParsePolibCommand({"/home/u/k.dll", "-machine:x64", "/out:k.lib"});  // case, "-", no /NOUND
    EXPECT_EQ(c.Action, PolibCommand::Build);
    EXPECT_EQ(c.Target, Machine::X64);
    EXPECT_EQ(c.Dll, "/home/u/k.dll");
    EXPECT_EQ(c.Out, "k.lib");
}

TEST(PolibCommandLine, OutTakesTheRestAndGetsItsBlanksBack) {
    // "C:\my  dir\my  user 32.dll" as Zandrel passes it, split by the usual rules.
    PolibCommand c = ParsePolibCommand({"C:\\my  dir\\my  user\t32.dll", "/MACHINE:X86", "/NOUND", "/OUT:my", "user", "32.lib"});
    EXPECT_EQ(c.Action, PolibCommand::Build);
    EXPECT_EQ(c.Out, "my  user\t32.lib");  // the DLL's own spelling
    c = ParsePolibCommand({"x.dll", "/MACHINE:X86", "/OUT:", "lead.lib"});
    EXPECT_EQ(c.Out, " lead.lib");  // a name that does not come from the DLL's is joined with one blank
    EXPECT_EQ(LibraryNameForDll("C:\\a\\name.ax"), "namelib");
    EXPECT_EQ(LibraryNameForDll("/a/user32.dll"), "user32.lib");
    EXPECT_EQ(LibraryNameForDll("ab"), "lib");
}

TEST(PolibCommandLine, WrongUsage) {
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"x.dll"},
        {"x.dll", "/NOUND", "/OUT:x.lib"},
        {"x.dll", "/MACHINE:ARM", "/OUT:x.lib"},
        {"x.dll", "/MACHINE:X86", "/NOUNDS", "/OUT:x.lib"},
        {"x.dll", "/MACHINE:X86", "/DEF:x.def", "/OUT:x.lib"},
        {"x.dll", "/MACHINE:X86"},
        {"x.dll", "/MACHINE:X86", "/OUT:"},
        {"", "/MACHINE:X86", "/OUT:x.lib"},
    };
    for (const auto& args : bad) {
        PolibCommand c = ParsePolibCommand(args);
        EXPECT_EQ(c.Action, PolibCommand::Usage) << (args.empty() ? "" : args.back());
        EXPECT_FALSE(c.Error.empty());
    }
    for (const char* help : {"/?", "-h", "--help", "/HELP"}) EXPECT_EQ(ParsePolibCommand({help}).Action, PolibCommand::Help);
    EXPECT_EQ(ParsePolibCommand({"--version"}).Action, PolibCommand::Version);
}

TEST_F(Polib, BuildsTheLibraryInItsWorkingFolder) {
    for (bool wide : {false, true}) {
        dir.Write("sample.dll", BuildPe(MixedExportsSpec(wide)).Bytes);
        Result r = Run(std::string("\"") + dir.File("sample.dll") + "\" /MACHINE:" + (wide ? "X64" : "X86") +
                       " /NOUND /OUT:sample.lib");
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_NE(r.out.find("2 functions, 1 data, 1 ordinal-only"), std::string::npos) << r.out;
        EXPECT_EQ(Symbols("sample.lib"), wide ? std::vector<std::string>({"Close", "Open"})
                                              : std::vector<std::string>({"_Close", "_Open"}));
        EXPECT_EQ(Listing(), std::vector<std::string>({"sample.dll", "sample.lib"}));
    }
}

TEST_F(Polib, BlanksInTheDllNameAndAnOldLibraryReplaced) {
    std::filesystem::create_directories(dir.File("in  dir"));
    dir.Write("in  dir/my  dll 2.dll", BuildPe(MixedExportsSpec()).Bytes);
    dir.Write("my  dll 2.lib", "an older library");
    Result r = Run("\"" + dir.File("in  dir/my  dll 2.dll") + "\" /MACHINE:X86 /NOUND /OUT:my  dll 2.lib");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Symbols("my  dll 2.lib"), std::vector<std::string>({"_Close", "_Open"}));
    EXPECT_EQ(Listing(), std::vector<std::string>({"in  dir", "my  dll 2.lib"}));
    // The descriptor names the DLL as the program will load it.
    EXPECT_NE(ReadFile(dir.File("my  dll 2.lib")).find("__IMPORT_DESCRIPTOR_my  dll 2"), std::string::npos);
}

TEST_F(Polib, FailuresNameTheFileAndLeaveNoLibrary) {
    PeImage cut = BuildPe(MixedExportsSpec());
    cut.Bytes.resize(cut.EdataEnd - 3);
    PeSpec none = MixedExportsSpec();
    none.WithExports = false;
    struct Case {
        std::string file, reason;
    };
    const std::vector<Case> cases = {
        {dir.Write("text.dll", "just some text, not an image\r\n"), "not a PE image"},
        {dir.Write("cut.dll", cut.Bytes), "not terminated"},
        {dir.Write("none.dll", BuildPe(none).Bytes), "no export directory"},
        {dir.File("missing.dll"), ""},
    };
    const std::string old_library = "an older library, kept on failure";
    for (const Case& c : cases) {
        dir.Write("kept.lib", old_library);
        Result r = Run("\"" + c.file + "\" /MACHINE:X86 /NOUND /OUT:new.lib");
        EXPECT_EQ(r.status, 1) << c.file;
        EXPECT_NE(r.err.find(c.file), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
        r = Run("\"" + c.file + "\" /MACHINE:X86 /NOUND /OUT:kept.lib");
        EXPECT_EQ(r.status, 1) << c.file;
        EXPECT_EQ(ReadFile(dir.File("kept.lib")), old_library);
        for (const std::string& name : Listing()) {
            EXPECT_NE(name, "new.lib");
            EXPECT_EQ(name.find(".tmp"), std::string::npos) << name;
        }
    }
    // A DLL whose library name is its own name is never overwritten.
    const std::string dll = BuildPe(MixedExportsSpec()).Bytes;
    dir.Write("self.lib", dll);
    Result self = Run("\"" + dir.File("self.lib") + "\" /MACHINE:X86 /NOUND /OUT:self.lib");
    EXPECT_EQ(self.status, 1);
    EXPECT_NE(self.err.find("would replace the DLL itself"), std::string::npos) << self.err;
    EXPECT_EQ(ReadFile(dir.File("self.lib")), dll);

    // A folder that cannot be written: the library is named.
    dir.Write("good.dll", BuildPe(MixedExportsSpec()).Bytes);
    Result r = Run("\"" + dir.File("good.dll") + "\" /MACHINE:X86 /NOUND /OUT:no-such-folder/good.lib");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("good.lib"), std::string::npos) << r.err;
}

TEST_F(Polib, RefusesAnImageForAnotherMachine) {
    // The optional header's kind alone does not make an X64 image: ARM64 DLLs are PE32+ too.
    struct Case {
        bool wide;
        std::uint16_t machine;
        const char* asked;
        const char* says;
    };
    const Case cases[] = {{true, 0xAA64, "X64", "ARM64, not X64"},
                          {false, 0x1C4, "X86", "ARM, not X86"},
                          {false, 0x14C, "X64", "X86, not X64"},
                          {true, 0x8664, "X86", "X64, not X86"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.says);
        PeImage image = BuildPe(MixedExportsSpec(c.wide));
        image.Set16(image.Coff, c.machine);
        dir.Write("other.dll", image.Bytes);
        dir.Write("kept.lib", "an older library");
        Result r = Run("\"" + dir.File("other.dll") + "\" /MACHINE:" + c.asked + " /NOUND /OUT:kept.lib");
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(dir.File("other.dll")), std::string::npos) << r.err;
        EXPECT_EQ(ReadFile(dir.File("kept.lib")), "an older library");
        EXPECT_EQ(Listing(), std::vector<std::string>({"kept.lib", "other.dll"}));
    }
}

#ifdef _WIN32
TEST_F(Polib, AnOldLibraryOpenElsewhereIsReplacedOrKept) {
    // Another program reads the old library and lets others delete it: deleting first and then
    // moving fails, and the old library vanishes when that program closes it.
    dir.Write("sample.dll", BuildPe(MixedExportsSpec()).Bytes);
    const std::string old_library = "an older library, still open";
    dir.Write("sample.lib", old_library);
    HANDLE open = CreateFileA(dir.File("sample.lib").c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(open, INVALID_HANDLE_VALUE);
    Result r = Run("\"" + dir.File("sample.dll") + "\" /MACHINE:X86 /NOUND /OUT:sample.lib");
    CloseHandle(open);
    ASSERT_TRUE(std::filesystem::exists(dir.File("sample.lib"))) << r.err;
    if (r.status == 0) {
        EXPECT_EQ(Symbols("sample.lib"), std::vector<std::string>({"_Close", "_Open"}));
    } else {
        EXPECT_EQ(ReadFile(dir.File("sample.lib")), old_library);
        EXPECT_NE(r.err.find("sample.lib"), std::string::npos) << r.err;
    }
    for (const std::string& name : Listing()) EXPECT_EQ(name.find(".tmp"), std::string::npos) << name;
}
#endif

TEST_F(Polib, UsageHelpAndVersion) {
    for (const char* args : {"", "x.dll", "x.dll /MACHINE:X86", "x.dll /MACHINE:ARM /OUT:x.lib"}) {
        Result r = Run(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_NE(r.err.find("Usage: polib"), std::string::npos) << args;
        EXPECT_EQ(r.out, "");
    }
    for (const char* help : {"/?", "-h", "--help"}) {
        Result r = Run(help);
        EXPECT_EQ(r.status, 0);
        EXPECT_NE(r.out.find("ordinal and no name are left out"), std::string::npos) << help;
    }
    Result r = Run("--version");
    EXPECT_EQ(r.status, 0);
    r.out.erase(std::remove(r.out.begin(), r.out.end(), '\r'), r.out.end());  // a Windows console's line ends
    EXPECT_EQ(r.out, std::string("polib (Zandrel) ") + ZANDREL_VERSION + "\n");
}

TEST_F(Polib, WineUser32) {
    const std::string dll = std::string(ZANDREL_WINE_DLL32) + "/user32.dll";
    if (!std::filesystem::exists(dll)) GTEST_SKIP() << "no " << dll;
    Result r = Run("\"" + dll + "\" /MACHINE:X86 /NOUND /OUT:user32.lib");
    ASSERT_EQ(r.status, 0) << r.err;
    PeExports exports;
    std::string reason;
    ASSERT_TRUE(ReadPeExports(ReadFile(dll), exports, reason)) << reason;
    // Every code export, with the C prefix; stdcall code of a known count adds its byte count.
    const std::vector<Signature> sigs =
        InferSignatures(ReadFile(dll), exports, FolderImageLoader({ZANDREL_WINE_DLL32}, Machine::X86));
    ASSERT_EQ(sigs.size(), exports.Named.size());
    std::vector<std::string> expected;
    std::size_t decorated = 0;
    for (std::size_t i = 0; i < exports.Named.size(); ++i) {
        const PeExport& e = exports.Named[i];
        if (e.Data) continue;
        std::string name = "_" + e.Name;
        if (sigs[i].Convention == CallConvention::Stdcall && sigs[i].Sure == Certainty::Exact &&
            e.Name.find('@') == std::string::npos) {
            name += "@" + std::to_string(4 * sigs[i].Count);
            ++decorated;
        }
        expected.push_back(name);
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_GT(expected.size(), 500u);
    EXPECT_EQ(Symbols("user32.lib"), expected);
    std::printf("user32.dll: %zu of %zu functions decorated\n", decorated, expected.size());
    // The reader gives the decorated ones their count back.
    zandrel::SymbolList list;
    ASSERT_EQ(zandrel::ReadLibFile(dir.File("user32.lib"), list), zandrel::ReadStatus::Ok);
    for (const auto& entry : list) {
        const std::size_t at = entry.Name.rfind('@');
        if (at != std::string::npos) {
            EXPECT_EQ(entry.ParamCount, std::stoi(entry.Name.substr(at + 1)) / 4) << entry.Name;
        }
    }
}
