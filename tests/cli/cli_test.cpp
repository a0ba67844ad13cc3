// zandrel-cli run as a separate program, as scripts use it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "base/Version.h"
#include "support/ArchiveBuilder.h"
#include "support/CodeImage.h"
#include "support/HostileFiles.h"
#include "support/CodeDll.h"
#include "support/PeBuilder.h"
#include "support/RunProgram.h"
#include "support/TempDir.h"

#if !defined(_WIN32)
#include <sys/resource.h>
#endif

using namespace ztest;

namespace {

using Result = ProgramResult;

void SetEnv(const char* name, const char* value) {
#if defined(_WIN32)
    _putenv_s(name, value ? value : "");
#else
    if (value) setenv(name, value, 1);
    else unsetenv(name);
#endif
}

class Cli : public ::testing::Test {
protected:
    TempDir dir;

    Result Run(const std::string& args) {
        std::filesystem::create_directories(dir.File("io"));
        return RunProgram(ZANDREL_CLI, args, dir.File("io"));
    }
    std::string Q(const std::string& path) { return "\"" + path + "\""; }
};

const std::vector<std::string> kNames = {"__IMPORT_DESCRIPTOR_mylib", "__NULL_IMPORT_DESCRIPTOR",
                                         "_DoThing@8", "_Other@0", "__imp__DoThing@8",
                                         "__imp__Other@0", "\x7fmylib_NULL_THUNK_DATA"};

}  // namespace

TEST_F(Cli, SymbolsListsNameCountAndHostName) {
    Result r = Run("symbols " + Q(dir.Write("mylib.lib", MsArchive(kNames))));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "_DoThing@8\t2\tDoThing\n_Other@0\t0\tOther\n");
    EXPECT_EQ(r.err, "");
}

TEST_F(Cli, ImportIsTheBlockOfAFreshlyOpenedLibrary) {
    std::string lib = dir.Write("mylib.lib", MsArchive(kNames));
    SetEnv("SOURCE_DATE_EPOCH", "1359968700");  // 2013-02-04 09:05 UTC
    Result r = Run("import " + Q(lib));
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string head = "\r\n; Libname: mylib.lib\r\n; created: 2013/02/04  09:05\r\n";
    EXPECT_EQ(r.out, head +
                         "Import \"mylib.lib\"\r\n"
                         "  DoThing(a.i, b.i) As \"_DoThing@8\"\r\n"
                         "  Other() As \"_Other@0\"\r\n"
                         "EndImport\r\n");
    r = Run("import --convention CDECL --no-alias " + Q(lib));
    EXPECT_EQ(r.out, head + "ImportC \"mylib.lib\"\r\n  DoThing(a.i, b.i)\r\n  Other()\r\nEndImport\r\n");
    std::string file = dir.File("out.pb");
    r = Run("import " + Q(lib) + " -o " + Q(file) + " --convention FASTCALL");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(ReadFile(file), head + "Import \"mylib.lib\"\r\n  DoThing(a.i, b.i) As \"_DoThing@8\"\r\n"
                                     "  Other() As \"_Other@0\"\r\nEndImport\r\n");
    SetEnv("SOURCE_DATE_EPOCH", nullptr);
}

TEST_F(Cli, ArchiveWithoutFunctionsGivesEmptyOutput) {
    std::string lib = dir.Write("none.lib", MsArchive({"__NULL_IMPORT_DESCRIPTOR", "__imp__x"}));
    for (const char* cmd : {"symbols ", "import "}) {
        Result r = Run(cmd + Q(lib));
        EXPECT_EQ(r.status, 0) << cmd << r.err;
        EXPECT_EQ(r.out, "") << cmd;
    }
}

TEST_F(Cli, UnreadableOrForeignFilesAreNamedOnStderr) {
    std::string missing = dir.File("missing.lib");
    std::string text = dir.Write("text.lib", "not an archive\r\n");
    std::string cut = dir.Write("cut.lib", MsArchive(kNames).substr(0, 100));
    for (const std::string& file : {missing, text, cut}) {
        for (const char* cmd : {"symbols ", "import "}) {
            Result r = Run(cmd + Q(file));
            EXPECT_EQ(r.status, 1) << cmd << file;
            EXPECT_EQ(r.out, "");
            EXPECT_NE(r.err.find(file), std::string::npos) << r.err;
        }
    }
    Result r = Run("import " + Q(dir.Write("ok.lib", MsArchive(kNames))) + " -o " +
                   Q(dir.File("no-such-folder") + "/x.pb"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("x.pb"), std::string::npos) << r.err;
}

TEST_F(Cli, UsageErrorsExitTwo) {
    for (const char* args : {"", "frobnicate x", "symbols", "symbols a b", "import",
                             "import x --convention", "import x --convention PASCAL",
                             "import x --bogus", "machine"}) {
        Result r = Run(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_NE(r.err.find("Usage"), std::string::npos) << args;
    }
    Result r = Run("--version");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, std::string("zandrel-cli ") + ZANDREL_VERSION + "\n");
    r = Run("--help");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("symbols LIB"), std::string::npos);
}

TEST_F(Cli, MachineNamesTheClassOrTheFailure) {
    std::string image(1024, '\0');
    image[0] = 'M';
    image[1] = 'Z';
    image[60] = static_cast<char>(0x80);
    image.replace(0x80, 4, std::string("PE\0\0", 4));
    image[0x80 + 22] = 0x02;
    image[0x80 + 24] = 0x0B;
    image[0x80 + 25] = 0x02;
    Result r = Run("machine " + Q(dir.Write("a.dll", image)));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "X64\n");
    image[0x80 + 25] = 0x01;
    r = Run("machine " + Q(dir.Write("b.dll", image)));
    EXPECT_EQ(r.out, "X86\n");
    r = Run("machine " + Q(dir.Write("c.dll", "text")));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "NotAnImage\n");
    EXPECT_NE(r.err.find("c.dll"), std::string::npos);
    r = Run("machine " + Q(dir.File("gone.dll")));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Unreadable\n");
}

TEST_F(Cli, DllIsReadThroughTheLibraryBuiltFromIt) {
    std::filesystem::create_directories(dir.File("in"));
    std::string dll32 = dir.Write("in/thing.dll", BuildPe(MixedExportsSpec(false)).Bytes);
    Result r = Run("symbols " + Q(dll32));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "_Close\t0\tClose\n_Open\t0\tOpen\n");
    EXPECT_EQ(r.err, "");
    EXPECT_FALSE(std::filesystem::exists(dir.File("in/thing.lib")));  // built elsewhere and gone

    std::string dll64 = dir.Write("in/wide.ax", BuildPe(MixedExportsSpec(true)).Bytes);
    std::filesystem::create_directories(dir.File("libs"));
    r = Run("symbols --lib-dir " + Q(dir.File("libs")) + " " + Q(dll64));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Close\t0\tClose\nOpen\t0\tOpen\n");
    EXPECT_TRUE(std::filesystem::exists(dir.File("libs/widelib")));  // named as the program names it

    SetEnv("SOURCE_DATE_EPOCH", "1359968700");
    r = Run("import " + Q(dll32) + " --no-alias --lib-dir " + Q(dir.File("libs")));
    SetEnv("SOURCE_DATE_EPOCH", nullptr);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "\r\n; Libname: thing.lib\r\n; created: 2013/02/04  09:05\r\n"
                     "Import \"thing.lib\"\r\n  Close()\r\n  Open()\r\nEndImport\r\n");
    EXPECT_TRUE(std::filesystem::exists(dir.File("libs/thing.lib")));
}

TEST_F(Cli, CountsTheLibraryCannotCarryComeFromTheDllsCode) {
    // Pair: ret 8 (stdcall, two slots). Sum: mov eax, [esp+4]; add eax, [esp+8]; ret (cdecl).
    // Zero: the bytes "00 00" everywhere, nothing a count can be read from.
    const std::string dll32 = dir.Write("code.dll", DllWithCode(false, {{"Pair", std::string("\xC2\x08\x00", 3)},
                                                                        {"Sum", "\x8B\x44\x24\x04\x03\x44\x24\x08\xC3"},
                                                                        {"Zero", ""}}));
    Result r = Run("symbols " + Q(dll32));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "_Pair@8\t2\tPair\n_Sum\t2\tSum\n_Zero\t0\tZero\n");
    SetEnv("SOURCE_DATE_EPOCH", "1359968700");
    r = Run("import " + Q(dll32));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "\r\n; Libname: code.lib\r\n; created: 2013/02/04  09:05\r\n"
                     "Import \"code.lib\"\r\n  Pair(a.i, b.i) As \"_Pair@8\"\r\n  Sum(a.i, b.i) As \"_Sum\"\r\n"
                     "  Zero() As \"_Zero\"\r\nEndImport\r\n");
    // x64: lea eax, [rcx+rdx]; ret.
    const std::string dll64 = dir.Write("wide.dll", DllWithCode(true, {{"Add", "\x8D\x04\x11\xC3"}}));
    r = Run("import --no-alias " + Q(dll64));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "\r\n; Libname: wide.lib\r\n; created: 2013/02/04  09:05\r\n"
                     "Import \"wide.lib\"\r\n  Add(a.i, b.i)\r\nEndImport\r\n");
    SetEnv("SOURCE_DATE_EPOCH", nullptr);
    // The library built stays as it is: read as such, its names carry what they carry.
    std::filesystem::create_directories(dir.File("libs"));
    r = Run("symbols --lib-dir " + Q(dir.File("libs")) + " " + Q(dll32));
    EXPECT_EQ(r.out, "_Pair@8\t2\tPair\n_Sum\t2\tSum\n_Zero\t0\tZero\n");
    r = Run("symbols " + Q(dir.File("libs/code.lib")));
    EXPECT_EQ(r.out, "_Pair@8\t2\tPair\n_Sum\t0\tSum\n_Zero\t0\tZero\n");
}

TEST_F(Cli, DllFailuresNameTheDll) {
    std::string text = dir.Write("text.dll", "not an image at all");
    std::string bare = dir.Write("bare.dll", BuildPe(MixedExportsSpec(false, false)).Bytes);
    std::string good = dir.Write("good.dll", BuildPe(MixedExportsSpec(false)).Bytes);
    struct Case {
        std::string args, file, reason;
    };
    const std::vector<Case> cases = {
        {"symbols " + Q(text), text, "corrupt DLL"},
        {"import " + Q(bare), bare, "no export directory"},
        {"symbols " + Q(good) + " --lib-dir " + Q(dir.File("no-such-folder")), "good.lib", "cannot create"},
    };
    for (const Case& c : cases) {
        Result r = Run(c.args);
        EXPECT_EQ(r.status, 1) << c.args;
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find(c.file), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
    }
    for (const char* args : {"symbols x.dll --lib-dir", "import x.dll --lib-dir", "symbols --bogus x.dll"}) {
        Result r = Run(args);
        EXPECT_EQ(r.status, 2) << args;
    }
}

TEST_F(Cli, SignaturesListEachNamedExportAndFindOtherDllsBeside) {
    // other.dll, beside under another case: Func pops 16 bytes
    CodeImageSpec other;
    other.DllName = "Other.DLL";
    other.Text = std::string("\xC2\x10\x00", 3);
    other.Exports = {{"Func", kText, ""}};
    std::filesystem::create_directories(dir.File("in"));
    dir.Write("in/OTHER.dll", BuildCodeImage(other));

    CodeImageSpec spec;
    spec.DllName = "main.dll";
    spec.Imports = {{"other.dll", {"Func"}}};
    const std::uint32_t slot = static_cast<std::uint32_t>(spec.Base() + ImportSlot(spec, 0, 0));
    spec.Text = std::string("\x8B\x44\x24\x04\xC2\x08\x00", 7)     // mov eax,[esp+4]; ret 8
                + std::string("\x8B\x44\x24\x08\xC3", 5)             // mov eax,[esp+8]; ret
                + std::string("\x8D\x44\x24\x08\x50\xFF\xD0\x58\xC3", 9)  // lea; push; call eax; pop; ret
                + std::string("\xFF\x25", 2) + std::string(reinterpret_cast<const char*>(&slot), 4);
    spec.Exports = {{"Std", kText, ""}, {"Cdecl", kText + 7, ""}, {"Vararg", kText + 12, ""},
                    {"Imported", kText + 21, ""}, {"Forwarded", 0, "OTHER.Func"}, {"Lost", 0, "NONE.Func"}};
    const std::string dll = dir.Write("in/main.dll", BuildCodeImage(spec));
    Result r = Run("signatures " + Q(dll));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Std\tstdcall\texact\t2\n"
                     "Cdecl\tcdecl\texact\t2\n"
                     "Vararg\tcdecl\tat least\t1\tvariadic\n"
                     "Imported\tstdcall\texact\t4\n"
                     "Forwarded\tstdcall\texact\t4\n"
                     "Lost\tunknown\tunknown\t0\n");
    EXPECT_EQ(r.err, "");

    for (const std::string& bad : {dir.Write("text.dll", "not an image"), dir.File("gone.dll")}) {
        r = Run("signatures " + Q(bad));
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find(bad), std::string::npos) << r.err;
    }
    EXPECT_EQ(Run("signatures").status, 2);
    EXPECT_EQ(Run("signatures a.dll b.dll").status, 2);
}

TEST_F(Cli, ABareDllNameFindsTheDllsBesideItInTheCurrentFolder) {
    // main.dll and the DLLs it forwards to stand in the folder the tool runs in.
    std::filesystem::create_directories(dir.File("here/libs"));
    auto RunHere = [&](const std::string& args) {
        std::filesystem::create_directories(dir.File("io"));
        return RunProgram(ZANDREL_CLI, args, dir.File("io"), dir.File("here"));
    };
    CodeImageSpec other;
    other.DllName = "Other.DLL";
    other.Text = std::string("\xC2\x10\x00", 3);  // ret 16
    other.Exports = {{"Func", kText, ""}};
    dir.Write("here/Other.DLL", BuildCodeImage(other));
    CodeImageSpec wide = other;  // the same code, for the other machine
    wide.X64 = true;
    wide.DllName = "wide.dll";
    dir.Write("here/wide.dll", BuildCodeImage(wide));
    dir.Write("here/broken.dll", "MZ but nothing more");
    CodeImageSpec spec;
    spec.DllName = "main.dll";
    spec.Text = std::string("\xC3", 1);
    spec.Exports = {{"Forwarded", 0, "OTHER.Func"}, {"Wide", 0, "WIDE.Func"}, {"Broken", 0, "broken.Func"}};
    dir.Write("here/main.dll", BuildCodeImage(spec));

    Result r = RunHere("signatures main.dll");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Forwarded\tstdcall\texact\t4\n"
                     "Wide\tunknown\tunknown\t0\n"
                     "Broken\tunknown\tunknown\t0\n");
    EXPECT_EQ(r.err, "");
    // The library built from a bare name is named as from a full path: the forwarder's count
    // decorates its name either way.
    const std::string listed = "_Broken\t0\tBroken\n_Forwarded@16\t4\tForwarded\n_Wide\t0\tWide\n";
    r = RunHere("symbols main.dll --lib-dir libs");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, listed);
    r = RunHere("symbols " + Q(dir.File("here/main.dll")) + " --lib-dir libs");
    EXPECT_EQ(r.out, listed);
}

TEST_F(Cli, HostileFilesAreNamedOnStderrWithinBoundedMemory) {
    std::filesystem::create_directories(dir.File("libs"));
    std::vector<HostileFile> files = WriteHostileLibraries(dir);
    for (HostileFile& f : WriteHostileDlls(dir)) files.push_back(f);
    for (const HostileFile& f : files) {
        Result r = Run("symbols --lib-dir " + Q(dir.File("libs")) + " " + Q(f.Path));
        EXPECT_EQ(r.status, f.CliStatus) << f.Label << ": " << r.err;
        EXPECT_EQ(static_cast<int>(std::count(r.out.begin(), r.out.end(), '\n')), f.Rows) << f.Label;
        if (f.Reason.empty()) {
            EXPECT_EQ(r.err, "") << f.Label;
        } else {
            EXPECT_NE(r.err.find(std::filesystem::path(f.Path).filename().string()), std::string::npos) << r.err;
            EXPECT_NE(r.err.find(f.Reason), std::string::npos) << f.Label << ": " << r.err;
        }
    }
#if !defined(_WIN32)
    // Two-GiB files are taken in only as far as they matter (sanitizer overhead included).
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    EXPECT_LT(usage.ru_maxrss, 768L * 1024) << "largest child's peak in KiB";
#endif
}
