// Broken and hostile files opened in the real main window: the program stays up and silent,
// shows what the readers made of them, keeps its memory bounded and never spoils a project.
#include <windows.h>

#include <filesystem>

#include "app/AppFixture.h"
#include "project/ProjectFormat.h"
#include "readers/DllMachine.h"
#include "support/HostileFiles.h"

using namespace zandrel;
using namespace ztest;

namespace {

// Address space in use: what a 32-bit process runs out of first.
unsigned long long UsedAddressSpace() {
    MEMORYSTATUSEX ms{};
    ms.dwLength = sizeof ms;
    GlobalMemoryStatusEx(&ms);
    return ms.ullTotalVirtual - ms.ullAvailVirtual;
}

class HostileTest : public AppTest {
protected:
    // No requester may appear for any of these files: the program is silent about bad input.
    void ExpectNothingAsked() { EXPECT_TRUE(ask.asked.empty()); }
};

}  // namespace

TEST_F(HostileTest, LibrariesShowWhatTheReaderFoundWithoutGrowingMemory) {
    Start();
    // The window's own overhead first, so the bound below is about the files alone.
    LoadImportLib(app, dir.Write("warm.lib", MsArchive({"_a@4"})));
    const unsigned long long before = UsedAddressSpace();
    for (const HostileFile& f : WriteHostileLibraries(dir)) {
        LoadImportLib(app, f.Path);
        EXPECT_EQ(app.grid->RowCount(), f.Rows) << f.Label;
        EXPECT_EQ(Title(), LoadedTitle(std::filesystem::path(f.Path).filename().string(), f.Rows)) << f.Label;
        EXPECT_TRUE(IsWindow(app.main));
        PumpPending();
    }
    // Two-GiB files are taken in only as far as the reader's limit; the table never holds more
    // rows than the reader lists.
    EXPECT_LT(UsedAddressSpace() - before, 400ull << 20);
    ExpectNothingAsked();
}

TEST_F(HostileTest, DllsThroughTheLibrarianAreBuiltOrRefused) {
    Start();
    app.state.LibrarianPath = ZANDREL_POLIB;
    const std::string libs = dir.File("libs");
    std::filesystem::create_directories(libs);
    for (const HostileFile& f : WriteHostileDlls(dir)) {
        ask.asked.clear();
        ask.answers = {libs};
        OpenCommandLine(app, {f.Path});
        EXPECT_EQ(app.grid->RowCount(), f.Rows) << f.Label;
        PumpPending();
        // Only what is no image at all earns a message; a damaged export directory leaves the
        // librarian without a library, which shows as nothing loaded.
        ASSERT_FALSE(ask.asked.empty());
        EXPECT_EQ(ask.asked[0].kind, "folder");
        const bool image = DetectDllMachine(f.Path) == X86 || DetectDllMachine(f.Path) == X64;
        EXPECT_EQ(ask.asked.size(), image ? 1u : 2u) << f.Label;
        if (!image) {
            EXPECT_EQ(ask.asked.back().initial, "corrupt DLL");
        }
        app.grid->ClearRows();
    }
}

TEST_F(HostileTest, HostileProjectsAreBoundedAndTheFileSurvivesQuitting) {
    const std::string megabyte(1 << 20, 'x');
    struct Case {
        std::string label, text;
        int rows;
    };
    const std::vector<Case> cases = {
        {"a count of two thousand million", "[Global]\r\nLibName = a.lib\r\nCountFunc = 2000000000\r\n", 0},
        {"the count over two items", "[Global]\r\nCountFunc = 2000000000\r\n[Grid]\r\nItem_0 = TRUE|a|_a@4|1|\r\n"
                                     "Item_3 = FALSE|d|_d|0|last\r\n", 4},
        {"a far item under a huge count",
         "[Global]\r\nCountFunc = 2000000000\r\n[Grid]\r\nItem_1999999999 = TRUE|z|_z|0|\r\n",
         static_cast<int>(kMaxProjectRows)},
        {"lines of a megabyte", "[Global]\r\nLibName = " + megabyte + "\r\nCountFunc = 2\r\n[Grid]\r\nItem_0 = TRUE|" +
                                    megabyte + "|_f@4|1|" + megabyte + "\r\nItem_1 = " + megabyte + "\r\n", 2},
        {"binary bytes", std::string("\0\xFF[Gr\0id]\r\nItem_0 = \x01\x02|\0\r\n\xEF\xBB\xBF", 26), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Start();
        const std::string path = dir.Write("hostile.zdx", c.text);
        OpenProject(app, path);
        ASSERT_EQ(app.grid->RowCount(), c.rows);
        PumpPending();
        ExpectNothingAsked();
        QuitSequence(app);
        EndApplication(app);
        app = App{};
        // Without rows nothing is saved; with rows the silent save keeps every cell.
        const std::string after = ReadFile(path);
        if (c.rows == 0) {
            EXPECT_EQ(after, c.text);
        } else {
            ProjectData before = ReadProjectText(c.text), saved = ReadProjectText(after);
            EXPECT_EQ(saved.Rows, before.Rows);
            EXPECT_EQ(saved.Settings.LibName, before.Settings.LibName);
        }
    }
}
