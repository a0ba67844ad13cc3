// Saving and copying the import block, project files on disk, requester filters.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/ScriptedRequesters.h"
#include "project/ProjectFile.h"
#include "support/TempDir.h"
#include "table/ImportOutput.h"

using namespace zandrel;
using namespace ztest;

namespace {
const std::string kBom = "\xEF\xBB\xBF";
const std::string kBlock = "\r\n; Libname: mylib.lib\r\nImport \"mylib.lib\"\r\nEndImport\r\n";
}  // namespace

TEST(Requesters, FilterHasZeroSeparatorsAndDoubleEnd) {
    EXPECT_EQ(DialogFilter("library (*.lib)|*.lib"), std::string("library (*.lib)\0*.lib\0\0", 23));
}

TEST(WriteImportFile, NewFileGetsMarkAppendGetsNone) {
    TempDir dir;
    std::string path = dir.File("out.pbi");
    ASSERT_TRUE(WriteImportFile(path, kBlock));
    EXPECT_EQ(ReadFile(path), kBom + kBlock);
    ASSERT_TRUE(WriteImportFile(path, kBlock));
    EXPECT_EQ(ReadFile(path), kBom + kBlock + kBlock);
    // An existing empty file is written from its start, mark included.
    std::string empty = dir.Write("empty.pb", "");
    ASSERT_TRUE(WriteImportFile(empty, kBlock));
    EXPECT_EQ(ReadFile(empty), kBom + kBlock);
    EXPECT_FALSE(WriteImportFile(dir.File("no-folder") + "\\x.pbi", kBlock));
}

TEST(WriteImportFile, AnsiTextBecomesUtf8) {
    if (GetACP() != 1252) GTEST_SKIP() << "ANSI code page " << GetACP();
    TempDir dir;
    std::string path = dir.File("accents.pbi");
    ASSERT_TRUE(WriteImportFile(path, "; caf\xE9 \x80\r\n"));
    EXPECT_EQ(ReadFile(path), kBom + "; caf\xC3\xA9 \xE2\x82\xAC\r\n");
}

TEST(SaveImport, ProposesNameAndFolderAndAppends) {
    TempDir dir;
    ScriptedRequesters ask;
    SavePaths paths{"mylib.lib", "C:\\last\\", ""};
    std::string target = dir.File("chosen.pb");
    ask.answers = {target, target};
    SaveImport(nullptr, ask, paths, [] { return kBlock; });
    ASSERT_EQ(ask.asked.size(), 1u);
    EXPECT_EQ(ask.asked[0].title, "Zandrel - Save Import");
    EXPECT_EQ(ask.asked[0].initial, "C:\\last\\mylib.pbi");
    EXPECT_EQ(ask.asked[0].pattern, "PB-Source (*.pb; *.pbi)|*.pb;*.pbi|All Files (*.*)|*.*");
    EXPECT_EQ(paths.SavePath, std::filesystem::path(target).parent_path().string() + "\\");
    EXPECT_EQ(paths.LastPath, "C:\\last\\");
    SaveImport(nullptr, ask, paths, [] { return kBlock; });
    EXPECT_EQ(ask.asked[1].initial, paths.SavePath + "mylib.pbi");  // the folder saved into
    EXPECT_EQ(ReadFile(target), kBom + kBlock + kBlock);
}

TEST(SaveImport, CancelOrEmptyTable) {
    TempDir dir;
    ScriptedRequesters ask;
    SavePaths paths{"noext", "C:\\last\\", "D:\\src\\"};
    ask.answers = {""};
    SaveImport(nullptr, ask, paths, [] { return kBlock; });
    EXPECT_EQ(ask.asked[0].initial, "D:\\src\\noextpbi");
    EXPECT_EQ(paths.SavePath, "D:\\src\\");  // cancelled: nothing changes
    std::string target = dir.File("never.pbi");
    ask.answers = {target};
    SaveImport(nullptr, ask, paths, [] { return std::string(); });
    EXPECT_NE(paths.SavePath, "D:\\src\\");  // the folder is taken even with nothing to write
    EXPECT_FALSE(std::filesystem::exists(target));
}

TEST(CopyImport, ClipboardHoldsTheText) {
    ASSERT_TRUE(CopyImport(kBlock));
    ASSERT_TRUE(OpenClipboard(nullptr));
    HANDLE data = GetClipboardData(CF_TEXT);
    ASSERT_NE(data, nullptr);
    std::string back(static_cast<const char*>(GlobalLock(data)));
    GlobalUnlock(data);
    CloseClipboard();
    EXPECT_EQ(back, kBlock);
    ASSERT_TRUE(CopyImport(""));
    ASSERT_TRUE(OpenClipboard(nullptr));
    data = GetClipboardData(CF_TEXT);
    ASSERT_NE(data, nullptr);
    EXPECT_STREQ(static_cast<const char*>(GlobalLock(data)), "");
    GlobalUnlock(data);
    CloseClipboard();
}

TEST(ProjectFile, WriteReplacesWholeAndLeavesNoTemporaryFiles) {
    TempDir dir;
    std::string path = dir.File("user32.zdx");
    ASSERT_TRUE(WriteProjectFile(path, "first version, rather long\r\n"));
    ASSERT_TRUE(WriteProjectFile(path, "second\r\n"));
    std::string text;
    ASSERT_TRUE(ReadProjectFile(path, text));
    EXPECT_EQ(text, "second\r\n");
    int files = 0;
    for (auto& e : std::filesystem::directory_iterator(std::filesystem::path(path).parent_path())) {
        (void)e;
        ++files;
    }
    EXPECT_EQ(files, 1);
    EXPECT_FALSE(ReadProjectFile(dir.File("missing.zdx"), text));
}

TEST(ProjectFile, FailedWriteKeepsThePreviousProject) {
    TempDir dir;
    std::string path = dir.File("keep.zdx");
    ASSERT_TRUE(WriteProjectFile(path, "old\r\n"));
    // Hold the project open without sharing: the replacement cannot happen.
    HANDLE lock = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(WriteProjectFile(path, "new\r\n"));
    CloseHandle(lock);
    EXPECT_EQ(ReadFile(path), "old\r\n");
    EXPECT_FALSE(WriteProjectFile(dir.File("gone") + "\\x.zdx", "x"));
}
