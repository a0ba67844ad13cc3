// Building an import library from a DLL with the librarian, run for real with a stand-in that
// records what it was given.
#include "app/AppFixture.h"

#include <filesystem>

#include "support/ArchiveBuilder.h"

using namespace zandrel;
using namespace ztest;

namespace {

std::string Dll32() { return MinimalImage(1024, 128, 0x2102, 0x10B); }
std::string Dll64() { return MinimalImage(1024, 128, 0x2022, 0x20B, 0x8664); }

class BuildLibTest : public AppTest {
protected:
    std::string log;

    void SetUp() override {
        Start();
        app.state.LibrarianPath = LIBRARIAN_STUB;
        log = dir.File("stub.log");
        SetEnvironmentVariableA("ZANDREL_STUB_LOG", log.c_str());
        SetEnvironmentVariableA("ZANDREL_STUB_WRITE", "1");
    }
    void TearDown() override {
        SetEnvironmentVariableA("ZANDREL_STUB_LOG", nullptr);
        SetEnvironmentVariableA("ZANDREL_STUB_WRITE", nullptr);
        AppTest::TearDown();
    }
    std::string Folder(const std::string& name) {
        std::filesystem::create_directories(dir.File(name));
        return dir.File(name) + "\\";
    }
    // The recorded command line and working folder.
    std::pair<std::string, std::string> Recorded() {
        std::string text = ReadFile(log);
        std::size_t nl = text.find('\n');
        if (nl == std::string::npos) return {};
        return {text.substr(0, nl), text.substr(nl + 1, text.find('\n', nl + 1) - nl - 1)};
    }
};

}  // namespace

TEST_F(BuildLibTest, CommandLineForEachMachine) {
    std::string out = Folder("out");
    std::string dll = dir.Write("user32.dll", Dll32());
    ask.answers = {out};
    EXPECT_EQ(BuildImportLib(app, dll), out + "user32.lib");
    ASSERT_EQ(ask.asked.size(), 1u);
    EXPECT_EQ(ask.asked[0].kind, "folder");
    EXPECT_EQ(ask.asked[0].title, "Select the Path to save the ImportLib");
    auto [line, cwd] = Recorded();
    EXPECT_EQ(line, "\"" + std::string(LIBRARIAN_STUB) + "\" \"" + dll + "\" /MACHINE:X86 /NOUND /OUT:user32.lib");
    EXPECT_EQ(std::filesystem::path(cwd), std::filesystem::path(out).parent_path());
    EXPECT_EQ(app.state.LastPath, out);

    std::string dll64 = dir.Write("wide.dll", Dll64());
    ask.answers = {out};
    EXPECT_EQ(BuildImportLib(app, dll64), out + "wide.lib");
    EXPECT_NE(Recorded().first.find("\" /MACHINE:X64 /NOUND /OUT:wide.lib"), std::string::npos);
}

TEST_F(BuildLibTest, BlanksAndOddExtensions) {
    std::string out = Folder("with blank");
    std::filesystem::create_directories(dir.File("dll folder"));
    std::string dll = dir.Write("dll folder\\my name.ax", Dll32());
    ask.answers = {out.substr(0, out.size() - 1)};  // the requester's answer without backslash
    EXPECT_EQ(BuildImportLib(app, dll), out + "my namelib");
    auto [line, cwd] = Recorded();
    EXPECT_NE(line.find("\"" + dll + "\" /MACHINE:X86 /NOUND /OUT:my namelib"), std::string::npos) << line;
    EXPECT_TRUE(std::filesystem::exists(out + "my namelib"));
}

TEST_F(BuildLibTest, CorruptDllAndStaleLibrariesAreNoSuccess) {
    std::string out = Folder("out");
    // An old library of that name is there from an earlier build.
    dir.Write("out\\fake.lib", MsArchive({"_Old@4"}));
    ask.answers = {out};
    EXPECT_EQ(BuildImportLib(app, dir.Write("fake.dll", "just text, not an image")), "");
    ASSERT_EQ(ask.asked.back().kind, "error");
    EXPECT_EQ(ask.asked.back().title, "Error");
    EXPECT_EQ(ask.asked.back().initial, "corrupt DLL");
    EXPECT_FALSE(std::filesystem::exists(log));  // the librarian never ran

    // A librarian that writes nothing: the old library does not count.
    SetEnvironmentVariableA("ZANDREL_STUB_WRITE", nullptr);
    std::string dll = dir.Write("fake.dll", Dll32());
    ask.answers = {out};
    EXPECT_EQ(BuildImportLib(app, dll), "");
    EXPECT_TRUE(std::filesystem::exists(log));
    // No librarian at all.
    app.state.LibrarianPath.clear();
    ask.answers = {out};
    EXPECT_EQ(BuildImportLib(app, dll), "");
    // Cancelled folder requester.
    app.state.LibrarianPath = LIBRARIAN_STUB;
    ask.answers = {""};
    EXPECT_EQ(BuildImportLib(app, dll), "");
}

TEST_F(BuildLibTest, OpenDllFillsTheTable) {
    std::string out = Folder("out");
    std::string dll = dir.Write("stub.dll", Dll32());
    app.state.ProjectFile = dir.File("earlier.zdx");
    ask.answers = {dll, out};
    RunCommand(app, CmdOpenDll);
    EXPECT_EQ(app.state.ProjectFile, "");  // the table is the DLL's now, no longer that project's
    ASSERT_GE(ask.asked.size(), 2u);
    EXPECT_EQ(ask.asked[0].title, "Open DLL");
    EXPECT_EQ(ask.asked[0].pattern, "DLL (*.dll)|*.dll");
    ASSERT_EQ(app.grid->RowCount(), 1);
    EXPECT_EQ(Cell(1, 0), "_StubFunction@8");
    EXPECT_EQ(Title(), "Zandrel 2013  - stub.lib  (1 Functions)");
    // Without a librarian the command does nothing at all.
    app.state.LibrarianPath.clear();
    std::size_t asked = ask.asked.size();
    RunCommand(app, CmdOpenDll);
    EXPECT_EQ(ask.asked.size(), asked);
}

TEST_F(BuildLibTest, DropOnAFilledTableStartsAnInstanceWithTheSameFolders) {
    LoadImportLib(app, dir.Write("first.lib", MsArchive({"_A@4"})));
    app.programPath = LIBRARIAN_STUB;  // records what a new instance would be given
    app.state.LastPath = dir.File("open here") + "\\";
    std::filesystem::create_directories(app.state.LastPath);
    app.state.SavePath = dir.File("save folder") + "\\";
    std::filesystem::create_directories(app.state.SavePath);
    std::filesystem::create_directories(dir.File("drop"));
    std::string second = dir.Write("drop\\second.lib", MsArchive({"_B@4"}));
    HandleDrop(app, second + "\n" + dir.File("third.lib") + "\n");
    ASSERT_TRUE(PumpUntil([&] { return ReadFile(log).find("]\n[") != std::string::npos; }, 30000));
    std::string text = ReadFile(log);
    EXPECT_NE(text.find("[" + second + "]\n[" + app.state.LastPath + "]\n[" + app.state.SavePath + "]\n"),
              std::string::npos)
        << text;
    // Its working folder is the folder for opening files.
    EXPECT_NE(text.find("\n" + app.state.LastPath.substr(0, app.state.LastPath.size() - 1) + "\n"), std::string::npos)
        << text;
    EXPECT_EQ(app.grid->RowCount(), 1);  // this instance keeps its table
    EXPECT_EQ(Cell(1, 0), "_A@4");
}
