// The real zandrel.exe, started as a user would and driven from outside its process: window
// title, status bar, menu commands, the system's save dialog, the clipboard, quitting.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>

#include <shellapi.h>
#include <shlobj.h>

#include "app/App.h"
#include "support/ArchiveBuilder.h"
#include "support/HostileFiles.h"
#include "support/OutsideDriver.h"
#include "support/TempDir.h"

using namespace zandrel;
using namespace ztest;

namespace {

BOOL CALLBACK FirstEdit(HWND w, LPARAM lp) {
    char cls[64] = {};
    GetClassNameA(w, cls, sizeof cls);
    if (std::string(cls) == "Edit" && IsWindowVisible(w)) {
        *reinterpret_cast<HWND*>(lp) = w;
        return FALSE;
    }
    return TRUE;
}

class Zandrel {
public:
    explicit Zandrel(const std::string& args) {
        std::string exe = ZANDREL_EXE;
        std::string line = "\"" + exe + "\" " + args;
        STARTUPINFOA si{};
        si.cb = sizeof si;
        started_ = CreateProcessA(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi_);
    }
    ~Zandrel() {
        if (!started_) return;
        if (WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(pi_.hProcess, 9);
        CloseHandle(pi_.hThread);
        CloseHandle(pi_.hProcess);
    }
    bool started() const { return started_; }
    DWORD pid() const { return pi_.dwProcessId; }
    DWORD thread() const { return pi_.dwThreadId; }
    HANDLE process() const { return pi_.hProcess; }
    // The main window once its title starts with `prefix`.
    HWND Main(const std::string& prefix) {
        HWND w = nullptr;
        WaitFor([&] { return (w = FindWindowOf(pid(), "ZandrelMainWindow", prefix)) != nullptr; });
        return w;
    }

private:
    PROCESS_INFORMATION pi_{};
    bool started_ = false;
};

std::string StatusField0(HWND main) {
    HWND status = FindWindowExA(main, nullptr, "msctls_statusbar32", nullptr);
    std::string t = Text(status);
    while (!t.empty() && t[0] == '\t') t.erase(0, 1);
    return t;
}

// The grid's list window inside the main window, and its header.
HWND GridList(HWND main) {
    HWND container = FindWindowExA(main, nullptr, "ZandrelGridContainer", nullptr);
    return container ? FindWindowExA(container, nullptr, "SysListView32", nullptr) : nullptr;
}

void Click(HWND w, int x, int y) {
    PostMessageA(w, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    PostMessageA(w, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
}

// Column c of the function table spans these pixels (the label column before it is hidden).
int ColumnMiddle(int column) {
    const int lefts[] = {0, 20, 220, 420, 465}, widths[] = {20, 200, 200, 45, 300};
    return lefts[column] + widths[column] / 2;
}
int RowMiddle(int row) { return 20 + 20 * row + 10; }

std::string ClassOf(HWND w) {
    char cls[64] = {};
    GetClassNameA(w, cls, sizeof cls);
    return cls;
}

const std::vector<std::string> kSymbols = {"__IMPORT_DESCRIPTOR_mylib", "__NULL_IMPORT_DESCRIPTOR", "_DoThing@8",
                                           "_Other@0", "__imp__DoThing@8", "__imp__Other@0"};

}  // namespace

TEST(EndToEnd, LibraryOnTheCommandLineCopySaveAndQuit) {
    TempDir dir;
    std::string lib = dir.Write("mylib.lib", MsArchive(kSymbols));
    Zandrel z("\"" + lib + "\"");
    ASSERT_TRUE(z.started());
    HWND main = z.Main("Zandrel 2013  - ");
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(Text(main), "Zandrel 2013  - mylib.lib  (2 Functions)");
    EXPECT_EQ(StatusField0(main), "   2 of 2 functions selected!");

    OpenClipboard(nullptr);
    EmptyClipboard();
    CloseClipboard();
    PostMessageA(main, WM_COMMAND, CmdCopyImport, 0);
    ASSERT_TRUE(WaitFor([] { return ClipboardText().find("EndImport") != std::string::npos; }));
    std::string copied = ClipboardText();
    EXPECT_NE(copied.find("; Libname: mylib.lib\r\n"), std::string::npos);
    EXPECT_NE(copied.find("Import \"mylib.lib\"\r\n  DoThing(a.i, b.i) As \"_DoThing@8\"\r\n  Other() As \"_Other@0\"\r\n"
                          "EndImport\r\n"),
              std::string::npos)
        << copied;

    // Save Import through the system's own dialog.
    PostMessageA(main, WM_COMMAND, CmdSaveImport, 0);
    HWND dialog = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (dialog = FindWindowOf(z.pid(), "#32770", "Zandrel - Save Import")) != nullptr; }));
    HWND edit = nullptr;
    ASSERT_TRUE(WaitFor([&] {
        EnumChildWindows(dialog, FirstEdit, reinterpret_cast<LPARAM>(&edit));
        return edit != nullptr;
    }));
    EXPECT_EQ(Text(edit), "mylib.pbi");  // the proposed name
    std::string target = dir.File("saved.pbi");
    SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(target.c_str()));
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(WaitFor([&] { return ReadFile(target).find("EndImport\r\n") != std::string::npos; }));
    EXPECT_EQ(ReadFile(target), "\xEF\xBB\xBF" + copied);

    PostMessageA(main, WM_CLOSE, 0, 0);
    ASSERT_EQ(WaitForSingleObject(z.process(), 30000), WAIT_OBJECT_0);
    DWORD code = 1;
    GetExitCodeProcess(z.process(), &code);
    EXPECT_EQ(code, 0u);
}

TEST(EndToEnd, ProjectOnTheCommandLine) {
    TempDir dir;
    std::string project = dir.Write("kept.zdx",
                                    "[Global]\r\nLibName = user32.lib\r\nLastPath = C:\\\r\nSavePath = \r\n"
                                    "CallingConvention = 1\r\nAlias = 0\r\nCountFunc = 2\r\n\r\n[Grid]\r\n"
                                    "Item_0 = TRUE|MessageBoxA|_MessageBoxA@16|4|\r\nItem_1 = FALSE|GetDC|_GetDC@4|1|\r\n");
    Zandrel z("\"" + project + "\"");
    ASSERT_TRUE(z.started());
    HWND main = z.Main("Zandrel 2013  - ");
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(Text(main), "Zandrel 2013  - user32.lib  (2 Functions)");
    EXPECT_EQ(StatusField0(main), "   1 of 2 functions selected!");
    PostMessageA(main, WM_COMMAND, CmdCopyImport, 0);
    ASSERT_TRUE(WaitFor([] { return ClipboardText().find("ImportC \"user32.lib\"") != std::string::npos; }));
    // Quit saves the project again without asking.
    std::filesystem::remove(project);
    PostMessageA(main, WM_COMMAND, CmdQuit, 0);
    ASSERT_EQ(WaitForSingleObject(z.process(), 30000), WAIT_OBJECT_0);
    EXPECT_NE(ReadFile(project).find("Item_0 = TRUE|MessageBoxA|_MessageBoxA@16|4|\r\n"), std::string::npos);
}

TEST(EndToEnd, HostileFilesOnTheCommandLineOpenQuietly) {
    // Each file in a program of its own: up, silent, showing what could be read, and it quits.
    TempDir dir;
    std::vector<HostileFile> files = WriteHostileLibraries(dir, false);
    const std::string project = "[Global]\r\nLibName = huge.lib\r\nCountFunc = 2000000000\r\n[Grid]\r\n"
                                "Item_0 = TRUE|a|_a@4|1|\r\n";
    files.push_back({"a project counting two thousand million", dir.Write("huge.zdx", project), 1, 0, ""});
    for (const HostileFile& f : files) {
        SCOPED_TRACE(f.Label);
        Zandrel z("\"" + f.Path + "\"");
        ASSERT_TRUE(z.started());
        const std::string lib = f.Label.rfind("a project", 0) == 0 ? "huge.lib" : std::filesystem::path(f.Path).filename().string();
        HWND main = z.Main("Zandrel 2013  - " + lib);
        ASSERT_NE(main, nullptr);
        EXPECT_EQ(Text(main), "Zandrel 2013  - " + lib + "  (" + std::to_string(f.Rows) + " Functions)");
        // No message box or other window of its own besides the main one.
        EXPECT_EQ(FindWindowOf(z.pid(), "#32770", ""), nullptr);
        PostMessageA(main, WM_COMMAND, CmdQuit, 0);
        ASSERT_EQ(WaitForSingleObject(z.process(), 30000), WAIT_OBJECT_0);
        DWORD code = 1;
        GetExitCodeProcess(z.process(), &code);
        EXPECT_EQ(code, 0u);
    }
    // The project kept its one row when it was saved on quitting, and nothing more.
    EXPECT_NE(ReadFile(dir.File("huge.zdx")).find("CountFunc = 1\r\n"), std::string::npos);
}

TEST(EndToEnd, DllOnTheCommandLineThroughOurLibrarian) {
    const std::string dll = std::string(ZANDREL_WINE_DLL32) + "/comdlg32.dll";
    if (!std::filesystem::exists(dll)) GTEST_SKIP() << "no Wine DLLs";
    TempDir dir;
    const std::string out = dir.File("libs") + "\\";
    std::filesystem::create_directories(out);
    // The folder requester starts at the folder given second; accepting it builds there.
    Zandrel z("\"" + dll + "\" \"" + out + "\\\" \"\"");
    ASSERT_TRUE(z.started());
    HWND dialog = nullptr;
    ASSERT_TRUE(WaitFor([&] {
        for (HWND w = GetTopWindow(nullptr); w; w = GetWindow(w, GW_HWNDNEXT)) {
            DWORD pid = 0;
            GetWindowThreadProcessId(w, &pid);
            char cls[64] = {};
            GetClassNameA(w, cls, sizeof cls);
            if (pid == z.pid() && std::string(cls) == "#32770" && IsWindowVisible(w)) dialog = w;
        }
        return dialog != nullptr;
    }));
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    HWND main = z.Main("Zandrel 2013  - comdlg32.lib");
    ASSERT_NE(main, nullptr);
    const std::string title = Text(main);
    const int functions = std::atoi(title.substr(title.find("(") + 1).c_str());
    EXPECT_GT(functions, 20) << title;
    EXPECT_TRUE(std::filesystem::exists(out + "comdlg32.lib"));
    EXPECT_EQ(StatusField0(main), "   " + std::to_string(functions) + " of " + std::to_string(functions) +
                                      " functions selected!");
    PostMessageA(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForSingleObject(z.process(), 30000), WAIT_OBJECT_0);
}

namespace {

// Answers a file requester of the program: types the path and presses OK.
void AnswerFileDialog(DWORD pid, const std::string& title, const std::string& path) {
    HWND dialog = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (dialog = FindWindowOf(pid, "#32770", title)) != nullptr; })) << title;
    HWND edit = nullptr;
    ASSERT_TRUE(WaitFor([&] {
        EnumChildWindows(dialog, FirstEdit, reinterpret_cast<LPARAM>(&edit));
        return edit != nullptr;
    }));
    SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(dialog); })) << title;
}

struct EditSearch {
    POINT at;
    HWND found;
};

BOOL CALLBACK EditAt(HWND w, LPARAM lp) {
    auto* s = reinterpret_cast<EditSearch*>(lp);
    RECT r{};
    GetWindowRect(w, &r);
    if (ClassOf(w) == "Edit" && IsWindowVisible(w) && PtInRect(&r, s->at)) {
        s->found = w;
        return FALSE;
    }
    return TRUE;
}

// Clicks a cell and types `text` over its content in the editor that opens, until the editor
// shows `expected`. Under a busy Wine the window may be activated late, and losing the focus
// drops the current cell with its editor; then the user simply clicks again.
void TypeIntoCell(HWND list, int column, int row, const std::string& text, const std::string& expected) {
    POINT at{ColumnMiddle(column), RowMiddle(row)};
    ClientToScreen(list, &at);
    for (int attempt = 0; attempt < 6; ++attempt) {
        Click(list, ColumnMiddle(column), RowMiddle(row));
        EditSearch search{at, nullptr};
        if (!WaitFor([&] {
                search.found = nullptr;
                EnumChildWindows(list, EditAt, reinterpret_cast<LPARAM>(&search));
                return search.found != nullptr;
            }, 3000))
            continue;
        HWND editor = search.found;
        SendMessageA(editor, EM_SETSEL, 0, -1);
        for (char c : text) PostMessageA(editor, WM_CHAR, static_cast<unsigned char>(c), 1);
        // The edit is committed when the user goes on to another cell.
        if (WaitFor([&] { return Text(editor) == expected && IsWindowVisible(editor); }, 3000)) return;
    }
    ADD_FAILURE() << "could not type into column " << column << " of row " << row;
}

std::string CopyFrom(HWND main) {
    OpenClipboard(nullptr);
    EmptyClipboard();
    CloseClipboard();
    PostMessageA(main, WM_COMMAND, CmdCopyImport, 0);
    WaitFor([] { return ClipboardText().find("EndImport") != std::string::npos; });
    return ClipboardText();
}

}  // namespace

// A whole working visit, as a new user makes it, checked by what the user sees.
TEST(EndToEnd, DayInTheLife) {
    TempDir dir;
    std::string lib = dir.Write("mylib.lib", MsArchive({"_Alpha@4", "_Beta@8", "_Gamma@0", "_Delta@12", "_Epsilon",
                                                        "__imp__Alpha@4", "__imp__Beta@8"}));
    Zandrel z("");
    ASSERT_TRUE(z.started());
    HWND main = z.Main("Zandrel 2013");
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(Text(main), "Zandrel 2013");

    // Open Library through the real open dialog.
    PostMessageA(main, WM_COMMAND, CmdOpenLibrary, 0);
    AnswerFileDialog(z.pid(), "Open Lib", lib);
    ASSERT_TRUE(WaitFor([&] { return Text(main) == "Zandrel 2013  - mylib.lib  (5 Functions)"; })) << Text(main);
    EXPECT_EQ(StatusField0(main), "   5 of 5 functions selected!");
    HWND list = GridList(main);
    ASSERT_NE(list, nullptr);

    // Untick two rows by their check boxes.
    Click(list, ColumnMiddle(0), RowMiddle(1));
    Click(list, ColumnMiddle(0), RowMiddle(3));
    ASSERT_TRUE(WaitFor([&] { return StatusField0(main) == "   3 of 5 functions selected!"; })) << StatusField0(main);

    // The check column's header: the first click unticks all, the second ticks all.
    HWND header = FindWindowExA(list, nullptr, "SysHeader32", nullptr);
    ASSERT_NE(header, nullptr);
    Click(header, ColumnMiddle(0), 10);
    ASSERT_TRUE(WaitFor([&] { return StatusField0(main) == "   0 of 5 functions selected!"; })) << StatusField0(main);
    Click(header, ColumnMiddle(0), 10);
    ASSERT_TRUE(WaitFor([&] { return StatusField0(main) == "   5 of 5 functions selected!"; })) << StatusField0(main);
    Click(list, ColumnMiddle(0), RowMiddle(4));
    ASSERT_TRUE(WaitFor([&] { return StatusField0(main) == "   4 of 5 functions selected!"; })) << StatusField0(main);

    // Rename, a parameter count (the letter is refused), a comment.
    TypeIntoCell(list, 2, 0, "First", "First");
    TypeIntoCell(list, 3, 0, "x7", "7");
    TypeIntoCell(list, 4, 0, "the first one", "the first one");
    Click(list, ColumnMiddle(1), RowMiddle(2));  // leave the last edited cell
    ASSERT_TRUE(WaitFor([&] { return CopyFrom(main).find("  First(a.i, b.i, c.i, d.i, e.i, f.i, g.i) As \"_Alpha@4\" ; "
                                                          "the first one\r\n") != std::string::npos; }))
        << ClipboardText();

    // CDECL, then the preview.
    HWND convention = FindWindowExA(main, nullptr, "ComboBox", nullptr);
    ASSERT_NE(convention, nullptr);
    SendMessageA(convention, CB_SETCURSEL, 1, 0);
    SendMessageA(main, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(convention), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(convention));
    HWND toggle = FindWindowExA(main, nullptr, "Button", "Preview");
    ASSERT_NE(toggle, nullptr);
    SendMessageA(toggle, BM_CLICK, 0, 0);
    HWND preview = FindWindowExA(main, nullptr, "Scintilla", nullptr);
    ASSERT_TRUE(WaitFor([&] { return IsWindowVisible(preview) && Text(preview).find("ImportC") != std::string::npos; }));
    const std::string shown = Text(preview);
    EXPECT_NE(shown.find("ImportC \"mylib.lib\"\r\n  First(a.i, b.i, c.i, d.i, e.i, f.i, g.i) As \"_Alpha@4\" ; the first one\r\n"
                         "  Beta(a.i, b.i) As \"_Beta@8\"\r\n  Gamma() As \"_Gamma@0\"\r\n  Delta(a.i, b.i, c.i) As "
                         "\"_Delta@12\"\r\nEndImport\r\n"),
              std::string::npos)
        << shown;
    EXPECT_EQ(shown.find("Epsilon"), std::string::npos);  // unticked
    const std::string copied = CopyFrom(main);
    EXPECT_EQ(WithoutStamp(copied), WithoutStamp(shown));

    // Save Import and Save Project through the real dialogs.
    const std::string source = dir.File("mylib.pbi");
    PostMessageA(main, WM_COMMAND, CmdSaveImport, 0);
    AnswerFileDialog(z.pid(), "Zandrel - Save Import", source);
    ASSERT_TRUE(WaitFor([&] { return ReadFile(source).find("EndImport") != std::string::npos; }));
    EXPECT_EQ(WithoutStamp(ReadFile(source)), "\xEF\xBB\xBF" + WithoutStamp(copied));
    const std::string project = dir.File("mylib.zdx");
    PostMessageA(main, WM_COMMAND, CmdSaveProject, 0);
    AnswerFileDialog(z.pid(), "Zandrel - Save Project", project);
    ASSERT_TRUE(WaitFor([&] { return ReadFile(project).find("Item_4") != std::string::npos; }));

    PostMessageA(main, WM_COMMAND, CmdQuit, 0);
    ASSERT_EQ(WaitForSingleObject(z.process(), 30000), WAIT_OBJECT_0);

    // Again, with the project: every edit is back.
    Zandrel again("\"" + project + "\"");
    ASSERT_TRUE(again.started());
    HWND main2 = again.Main("Zandrel 2013  - ");
    ASSERT_NE(main2, nullptr);
    EXPECT_EQ(Text(main2), "Zandrel 2013  - mylib.lib  (5 Functions)");
    EXPECT_EQ(StatusField0(main2), "   4 of 5 functions selected!");
    EXPECT_EQ(WithoutStamp(CopyFrom(main2)), WithoutStamp(copied));

    // A DLL dropped on the filled table opens in a second instance.
    const std::string dll = std::string(ZANDREL_WINE_DLL32) + "/comdlg32.dll";
    if (!std::filesystem::exists(dll)) return;
    DROPFILES head{};
    head.pFiles = sizeof head;
    std::string files = dll + std::string(1, '\0') + std::string(1, '\0');
    std::string block(reinterpret_cast<const char*>(&head), sizeof head);
    block += files;
    // The drop's file list must live in the receiving process.
    void* remote = VirtualAllocEx(again.process(), nullptr, block.size(), MEM_COMMIT, PAGE_READWRITE);
    ASSERT_NE(remote, nullptr);
    ASSERT_TRUE(WriteProcessMemory(again.process(), remote, block.data(), block.size(), nullptr));
    PostMessageA(GridList(main2), WM_DROPFILES, reinterpret_cast<WPARAM>(remote), 0);
    HWND second = nullptr;
    DWORD secondPid = 0;
    ASSERT_TRUE(WaitFor([&] {
        for (HWND w = GetTopWindow(nullptr); w; w = GetWindow(w, GW_HWNDNEXT)) {
            DWORD pid = 0;
            GetWindowThreadProcessId(w, &pid);
            if (pid != again.pid() && pid != z.pid() && ClassOf(w) == "ZandrelMainWindow") {
                second = w;
                secondPid = pid;
            }
        }
        return second != nullptr;
    }));
    EXPECT_EQ(Text(main2), "Zandrel 2013  - mylib.lib  (5 Functions)");  // this one keeps its table
    if (HANDLE p = OpenProcess(PROCESS_TERMINATE, FALSE, secondPid)) {
        TerminateProcess(p, 0);
        CloseHandle(p);
    }
    PostMessageA(main2, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForSingleObject(again.process(), 30000), WAIT_OBJECT_0);
}
