#include <gtest/gtest.h>

#include <filesystem>

#include "readers/DllMachine.h"
#include "support/ArchiveBuilder.h"
#include "support/TempDir.h"

using namespace zandrel;
using namespace ztest;

namespace {

// A minimal image header: "MZ", the PE offset at 60, "PE\0\0", Characteristics and Magic.
std::string Image(std::size_t size, std::uint32_t pe_offset, std::uint16_t characteristics,
                  std::uint16_t magic, std::uint16_t machine = 0x14C) {
    std::string f(size, '\0');
    f[0] = 'M';
    f[1] = 'Z';
    std::string v;
    PutLE32(v, pe_offset);
    f.replace(60, 4, v);
    auto put = [&](std::size_t at, const std::string& bytes) {
        for (std::size_t i = 0; i < bytes.size() && at + i < f.size(); ++i) f[at + i] = bytes[i];
    };
    put(pe_offset, std::string("PE\0\0", 4));
    v.clear();
    PutLE16(v, machine);
    put(pe_offset + 4, v);
    v.clear();
    PutLE16(v, characteristics);
    put(pe_offset + 22, v);
    v.clear();
    PutLE16(v, magic);
    put(pe_offset + 24, v);
    return f;
}

}  // namespace

TEST(DetectDllMachine, MagicDecides) {
    EXPECT_EQ(DetectDllMachineFromBytes(Image(1024, 128, 0x2102, 0x10B)), X86);
    EXPECT_EQ(DetectDllMachineFromBytes(Image(1024, 128, 0x2022, 0x20B, 0x8664)), X64);
    EXPECT_EQ(DetectDllMachineFromBytes(Image(1024, 128, 0x0102, 0x10B)), X86);  // an .exe
    EXPECT_EQ(DetectDllMachineFromBytes(Image(1024, 128, 0x2102, 0x10B, 0x1C0)), X86);  // ARM PE32
    EXPECT_EQ(DetectDllMachineFromBytes(Image(1024, 128, 0x2102, 0x107)), NotAnImage);
}

TEST(DetectDllMachine, SizeAndHeaderChecks) {
    EXPECT_EQ(DetectDllMachineFromBytes(Image(511, 128, 0x2102, 0x10B)), NotAnImage);
    EXPECT_EQ(DetectDllMachineFromBytes(Image(512, 128, 0x2102, 0x10B)), X86);
    std::string no_mz = Image(1024, 128, 0x2102, 0x10B);
    no_mz[0] = 'Z';
    EXPECT_EQ(DetectDllMachineFromBytes(no_mz), NotAnImage);
    std::string no_pe = Image(1024, 128, 0x2102, 0x10B);
    no_pe[129] = 'X';
    EXPECT_EQ(DetectDllMachineFromBytes(no_pe), NotAnImage);
    EXPECT_EQ(DetectDllMachineFromBytes(Image(1024, 128, 0x2100, 0x10B)), NotAnImage);  // not executable
}

TEST(DetectDllMachine, PeOffsetBounds) {
    // At size - 4 the signature fits but Characteristics and Magic read as 0.
    EXPECT_EQ(DetectDllMachineFromBytes(Image(1024, 1020, 0x2102, 0x10B)), NotAnImage);
    EXPECT_EQ(DetectDllMachineFromBytes(Image(1024, 1021, 0x2102, 0x10B)), NotAnImage);
    EXPECT_EQ(DetectDllMachineFromBytes(Image(1024, 0x80000000u, 0x2102, 0x10B)), NotAnImage);
    EXPECT_EQ(DetectDllMachineFromBytes(Image(1024, 0xFFFFFFFFu, 0x2102, 0x10B)), NotAnImage);
    // Magic exactly at the end of the file still counts.
    EXPECT_EQ(DetectDllMachineFromBytes(Image(1024, 1024 - 26, 0x2102, 0x20B)), X64);
}

TEST(DetectDllMachine, Files) {
    TempDir dir;
    EXPECT_EQ(DetectDllMachine(dir.Write("ok.dll", Image(2048, 200, 0x2102, 0x10B))), X86);
    EXPECT_EQ(DetectDllMachine(dir.Write("ok64.dll", Image(2048, 200, 0x2022, 0x20B))), X64);
    EXPECT_EQ(DetectDllMachine(dir.Write("text.dll", std::string(600, 't'))), NotAnImage);
    EXPECT_EQ(DetectDllMachine(dir.Write("empty.dll", "")), NotAnImage);
    EXPECT_EQ(DetectDllMachine(dir.File("missing.dll")), Unreadable);
    std::filesystem::create_directory(dir.File("folder.dll"));
    EXPECT_EQ(DetectDllMachine(dir.File("folder.dll")), Unreadable);
}

namespace {
void CheckWineDlls(const std::string& folder, DllMachine expected) {
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec)) GTEST_SKIP() << "no Wine DLLs at " << folder;
    int checked = 0;
    for (const char* name : {"kernel32.dll", "user32.dll", "gdi32.dll", "comctl32.dll", "ntdll.dll"}) {
        std::string path = folder + "/" + name;
        if (!std::filesystem::exists(path, ec)) continue;
        EXPECT_EQ(DetectDllMachine(path), expected) << path;
        ++checked;
    }
    EXPECT_GT(checked, 0);
}
}  // namespace

TEST(DetectDllMachine, WineDllsI386) { CheckWineDlls(ZANDREL_WINE_DLL32, X86); }
TEST(DetectDllMachine, WineDllsX86_64) { CheckWineDlls(ZANDREL_WINE_DLL64, X64); }
