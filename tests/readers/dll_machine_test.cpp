#include <gtest/gtest.h>

#include <filesystem>

#include "readers/DllMachine.h"
#include "support/ArchiveBuilder.h"
#include "support/TempDir.h"

using namespace zandrel;
using namespace ztest;


TEST(DetectDllMachine, MagicDecides) {
    EXPECT_EQ(DetectDllMachineFromBytes(MinimalImage(1024, 128, 0x2102, 0x10B)), X86);
    EXPECT_EQ(DetectDllMachineFromBytes(MinimalImage(1024, 128, 0x2022, 0x20B, 0x8664)), X64);
    EXPECT_EQ(DetectDllMachineFromBytes(MinimalImage(1024, 128, 0x0102, 0x10B)), X86);  // an .exe
    EXPECT_EQ(DetectDllMachineFromBytes(MinimalImage(1024, 128, 0x2102, 0x10B, 0x1C0)), X86);  // ARM PE32
    EXPECT_EQ(DetectDllMachineFromBytes(MinimalImage(1024, 128, 0x2102, 0x107)), NotAnImage);
}

TEST(DetectDllMachine, SizeAndHeaderChecks) {
    EXPECT_EQ(DetectDllMachineFromBytes(MinimalImage(511, 128, 0x2102, 0x10B)), NotAnImage);
    EXPECT_EQ(DetectDllMachineFromBytes(MinimalImage(512, 128, 0x2102, 0x10B)), X86);
    std::string no_mz = MinimalImage(1024, 128, 0x2102, 0x10B);
    no_mz[0] = 'Z';
    EXPECT_EQ(DetectDllMachineFromBytes(no_mz), NotAnImage);
    std::string no_pe = MinimalImage(1024, 128, 0x2102, 0x10B);
    no_pe[129] = 'X';
    EXPECT_EQ(DetectDllMachineFromBytes(no_pe), NotAnImage);
    EXPECT_EQ(DetectDllMachineFromBytes(MinimalImage(1024, 128, 0x2100, 0x10B)), NotAnImage);  // not executable
}

TEST(DetectDllMachine, PeOffsetBounds) {
    // At size - 4 the signature fits but Characteristics and Magic read as 0.
    EXPECT_EQ(DetectDllMachineFromBytes(MinimalImage(1024, 1020, 0x2102, 0x10B)), NotAnImage);
    EXPECT_EQ(DetectDllMachineFromBytes(MinimalImage(1024, 1021, 0x2102, 0x10B)), NotAnImage);
    EXPECT_EQ(DetectDllMachineFromBytes(MinimalImage(1024, 0x80000000u, 0x2102, 0x10B)), NotAnImage);
    EXPECT_EQ(DetectDllMachineFromBytes(MinimalImage(1024, 0xFFFFFFFFu, 0x2102, 0x10B)), NotAnImage);
    // Magic exactly at the end of the file still counts.
    EXPECT_EQ(DetectDllMachineFromBytes(MinimalImage(1024, 1024 - 26, 0x2102, 0x20B)), X64);
}

TEST(DetectDllMachine, Files) {
    TempDir dir;
    EXPECT_EQ(DetectDllMachine(dir.Write("ok.dll", MinimalImage(2048, 200, 0x2102, 0x10B))), X86);
    EXPECT_EQ(DetectDllMachine(dir.Write("ok64.dll", MinimalImage(2048, 200, 0x2022, 0x20B))), X64);
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
