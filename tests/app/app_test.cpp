// The application in process: main window, layout, menus, the table's answers, loading,
// project files and the import block's ways out.
#include "app/AppFixture.h"

#include <commctrl.h>
#include <shlobj.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "Scintilla.h"
#include "project/ProjectFile.h"
#include "table/ImportOutput.h"
#include "support/ArchiveBuilder.h"

using namespace zandrel;
using namespace ztest;

namespace {

const std::vector<std::string> kSymbols = {"__IMPORT_DESCRIPTOR_mylib", "__NULL_IMPORT_DESCRIPTOR",
                                           "_DoThing@8", "_Other@0", "__Under@4", "__imp__DoThing@8",
                                           "__imp__Other@0", "__imp___Under@4", "\x7fmylib_NULL_THUNK_DATA"};

std::vector<std::string> MenuTexts(HMENU menu) {
    std::vector<std::string> out;
    for (int i = 0, n = GetMenuItemCount(menu); i < n; ++i) {
        char buf[128] = {};
        GetMenuStringA(menu, static_cast<UINT>(i), buf, sizeof buf, MF_BYPOSITION);
        out.push_back(buf);
    }
    return out;
}

std::string ClipboardText() {
    std::string text;
    if (!OpenClipboard(nullptr)) return "<no clipboard>";
    if (HANDLE h = GetClipboardData(CF_TEXT)) {
        text = static_cast<const char*>(GlobalLock(h));
        GlobalUnlock(h);
    }
    CloseClipboard();
    return text;
}

bool SetClipboardTextForTest(const std::string& text) {
    if (!OpenClipboard(nullptr)) return false;
    EmptyClipboard();
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
    bool done = false;
    if (void* p = mem ? GlobalLock(mem) : nullptr) {
        std::memcpy(p, text.c_str(), text.size() + 1);
        GlobalUnlock(mem);
        done = SetClipboardData(CF_TEXT, mem) != nullptr;
    }
    if (!done && mem) GlobalFree(mem);
    CloseClipboard();
    return done;
}

std::string PreviewText(HWND preview) {
    LRESULT len = SendMessageA(preview, SCI_GETLENGTH, 0, 0);
    std::string text(static_cast<std::size_t>(len) + 1, '\0');
    SendMessageA(preview, SCI_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(len));
    return text;
}

std::string OwnFolder() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return std::filesystem::path(path).parent_path().string() + "\\";
}

}  // namespace

TEST_F(AppTest, MainWindowAtStart) {
    DeleteFileA((OwnFolder() + "polib.exe").c_str());
    SetEnvironmentVariableA("PB_TOOL_Scintilla", nullptr);
    Start();
    EXPECT_EQ(Title(), "Zandrel 2013");
    RECT rc{};
    GetClientRect(app.main, &rc);
    EXPECT_EQ(rc.right, 800);
    EXPECT_EQ(rc.bottom, 400);
    EXPECT_EQ(MenuTexts(app.fileMenu),
              (std::vector<std::string>{"Open Library\tCtrl+O", "Open Project", "", "Save Import\tCtrl+S",
                                        "Save Project", "Copy Import\tCtrl+C", "", "Quit\tAlt+F4"}));
    EXPECT_FALSE(IsWindowVisible(app.controls[CtlInsertButton]));
    EXPECT_TRUE(IsWindowVisible(app.controls[CtlCopyButton]));
    EXPECT_FALSE(IsWindowEnabled(app.controls[CtlPreviewToggle]));
    EXPECT_FALSE(IsWindowVisible(app.preview));
    EXPECT_EQ(StatusText(app, 0), "");
    EXPECT_NE(StatusText(app, 1).find("Zandrel"), std::string::npos);
    EXPECT_EQ(app.grid->ColumnCount(), 5);
    EXPECT_EQ(app.grid->RowCount(), 0);
    EXPECT_EQ(app.state.LibrarianPath, "");
    EXPECT_FALSE(app.state.LastPath.empty());
    EXPECT_EQ(app.state.LastPath.back(), '\\');
    // Ctrl+D is not bound without the librarian, Ctrl+I not without the host editor.
    ACCEL keys[16];
    int n = CopyAcceleratorTableA(app.accelerators, keys, 16);
    for (int i = 0; i < n; ++i) {
        EXPECT_NE(keys[i].key, 'D');
        EXPECT_NE(keys[i].key, 'I');
    }
    EXPECT_EQ(n, 3);
}

TEST_F(AppTest, LibrarianAndHostEditorAddTheirCommands) {
    std::string polib = OwnFolder() + "polib.exe";
    ASSERT_TRUE(WriteProjectFile(polib, ""));  // an empty file counts as present
    HWND host = CreateWindowExA(0, "STATIC", "host", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    SetEnvironmentVariableA("PB_TOOL_Scintilla", std::to_string(reinterpret_cast<std::uintptr_t>(host)).c_str());
    Start();
    EXPECT_EQ(app.state.LibrarianPath, polib);
    EXPECT_EQ(MenuTexts(app.fileMenu),
              (std::vector<std::string>{"Open Library\tCtrl+O", "Open DLL\tCtrl+D", "Open Project", "",
                                        "Save Import\tCtrl+S", "Save Project", "Insert Import\tCtrl+I",
                                        "Copy Import\tCtrl+C", "", "Quit\tAlt+F4"}));
    EXPECT_TRUE(IsWindowVisible(app.controls[CtlInsertButton]));
    EXPECT_EQ(CopyAcceleratorTableA(app.accelerators, nullptr, 0), 5);
    SetEnvironmentVariableA("PB_TOOL_Scintilla", nullptr);
    DestroyWindow(host);
    DeleteFileA(polib.c_str());
}

TEST_F(AppTest, LayoutFollowsTheSizeAndStopsAtTheMinimum) {
    Start();
    const int menu = GetSystemMetrics(SM_CYMENU);
    for (SIZE client : {SIZE{800, 400}, SIZE{1000, 700}, SIZE{700, 260}}) {
        RECT want{0, 0, client.cx, client.cy};
        AdjustWindowRectEx(&want, GetWindowLongA(app.main, GWL_STYLE), TRUE, 0);
        SetWindowPos(app.main, nullptr, 0, 0, want.right - want.left, want.bottom - want.top,
                     SWP_NOMOVE | SWP_NOZORDER);
        PumpPending();
        RECT rc{};
        GetClientRect(app.main, &rc);
        ASSERT_EQ(rc.right, client.cx);
        ASSERT_EQ(rc.bottom, client.cy);
        const int h = rc.bottom + menu;
        RECT status = ChildRect(app.status);
        RECT grid = ChildRect(app.grid->GetWindow());
        EXPECT_EQ(status.bottom, rc.bottom);
        // The about text's field stops at the size grip, which would cover its end.
        int parts[3] = {};
        ASSERT_EQ(SendMessageA(app.status, SB_GETPARTS, 3, reinterpret_cast<LPARAM>(parts)), 2);
        EXPECT_EQ(parts[0], 200);
        EXPECT_EQ(parts[1], rc.right - GetSystemMetrics(SM_CXVSCROLL)) << client.cx << "x" << client.cy;
        EXPECT_EQ(grid.left, 5);
        EXPECT_EQ(grid.top, 5);
        EXPECT_EQ(grid.right, rc.right - 5);
        EXPECT_EQ(grid.bottom, status.top - 35) << client.cx << "x" << client.cy;
        EXPECT_EQ(ControlRect(CtlConvention).top, h - 72);
        EXPECT_EQ(ControlRect(CtlConvention).left, 5);
        EXPECT_EQ(ControlRect(CtlConvention).bottom - ControlRect(CtlConvention).top, 22);
        const int xs[] = {0, 90, 195, 300, 405, 552};
        const int ws[] = {0, 100, 100, 100, 142, 80};
        for (int id = CtlInsertButton; id <= CtlPreviewToggle; ++id) {
            RECT r = ControlRect(id);
            EXPECT_EQ(r.top, h - 73) << id;
            EXPECT_EQ(r.left, xs[id]) << id;
            EXPECT_EQ(r.right - r.left, ws[id]) << id;
            EXPECT_EQ(r.bottom - r.top, 25) << id;
        }
    }
    MINMAXINFO mm{};
    SendMessageA(app.main, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&mm));
    RECT min{0, 0, 640, 200};
    AdjustWindowRectEx(&min, GetWindowLongA(app.main, GWL_STYLE), TRUE, 0);
    EXPECT_EQ(mm.ptMinTrackSize.x, min.right - min.left);
    EXPECT_EQ(mm.ptMinTrackSize.y, min.bottom - min.top);
}

TEST_F(AppTest, OpenLibraryFillsTheTable) {
    Start();
    std::string lib = dir.Write("mylib.lib", MsArchive(kSymbols));
    ask.answers = {lib};
    SendMessageA(app.main, WM_COMMAND, CmdOpenLibrary, 0);
    ASSERT_EQ(ask.asked.size(), 1u);
    EXPECT_EQ(ask.asked[0].title, "Open Lib");
    EXPECT_EQ(ask.asked[0].pattern, "library (*.lib)|*.lib");
    ASSERT_EQ(app.grid->RowCount(), 3);
    EXPECT_EQ(Cell(0, 0), "TRUE");
    EXPECT_EQ(Cell(1, 0), "_DoThing@8");
    EXPECT_EQ(Cell(2, 0), "DoThing");
    EXPECT_EQ(Cell(3, 0), "2");
    EXPECT_EQ(Cell(4, 0), "");
    EXPECT_EQ(Cell(2, 2), "_Under");
    EXPECT_EQ(Title(), "Zandrel 2013  - mylib.lib  (3 Functions)");
    EXPECT_EQ(StatusText(app, 0), "   3 of 3 functions selected!");
    EXPECT_EQ(app.state.LibName, "mylib.lib");
    EXPECT_EQ(app.state.LastPath, std::filesystem::path(lib).parent_path().string() + "\\");
    EXPECT_FALSE(MenuCommandEnabled(app, CmdOpenProject));
    EXPECT_TRUE(IsWindowEnabled(app.controls[CtlPreviewToggle]));
    // The same library again: the same rows once.
    ask.answers = {lib};
    RunCommand(app, CmdOpenLibrary);
    EXPECT_EQ(app.grid->RowCount(), 3);
    // A text file named .lib: empty table, its name in the title.
    ask.answers = {dir.Write("text.lib", "hello")};
    RunCommand(app, CmdOpenLibrary);
    EXPECT_EQ(app.grid->RowCount(), 0);
    EXPECT_EQ(Title(), "Zandrel 2013  - text.lib  (0 Functions)");
}

TEST_F(AppTest, CancelledOpenChangesNothing) {
    Start();
    ask.answers = {""};
    RunCommand(app, CmdOpenLibrary);
    EXPECT_EQ(Title(), "Zandrel 2013");
    EXPECT_TRUE(MenuCommandEnabled(app, CmdOpenProject));
    EXPECT_EQ(StatusText(app, 0), "   0 of 0 functions selected!");
}

TEST_F(AppTest, TableAnswersTheGrid) {
    Start();
    CellInfo ci;
    ci.Row = 0;
    ci.Column = 0;
    OnGridEvent(app.grid, QueryCellType, &ci);
    EXPECT_EQ(ci.CellType, CheckCell);
    EXPECT_EQ(ci.Text, "TRUE/FALSE");
    ci = CellInfo{};
    ci.Column = 1;
    OnGridEvent(app.grid, QueryCellType, &ci);
    EXPECT_EQ(ci.CellType, ReadOnlyTextCell);
    ci = CellInfo{};
    ci.Column = 3;
    OnGridEvent(app.grid, QueryCellType, &ci);
    EXPECT_EQ(ci.CellType, ComboCell);
    EXPECT_EQ(ci.Text, "0\n1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11\n12\n13\n14\n15");
    for (int column : {2, 4}) {
        ci = CellInfo{};
        ci.Column = column;
        OnGridEvent(app.grid, QueryCellType, &ci);
        EXPECT_EQ(ci.CellType, TextCell);
        EXPECT_EQ(ci.Text, "");
    }
    ci = CellInfo{};
    ci.Row = 0;
    ci.Column = 4;
    OnGridEvent(app.grid, QueryCellFormat, &ci);
    EXPECT_EQ(ci.BackColour, static_cast<std::int32_t>(RGB(193, 234, 224)));
    EXPECT_EQ(ci.TextColour, static_cast<std::int32_t>(RGB(210, 5, 0)));
    ci = CellInfo{};
    ci.Row = 7;
    ci.Column = 2;
    OnGridEvent(app.grid, QueryCellFormat, &ci);
    EXPECT_EQ(ci.BackColour, static_cast<std::int32_t>(RGB(244, 243, 222)));
    EXPECT_EQ(ci.TextColour, 0);
    ci = CellInfo{};
    ci.Row = -1;
    ci.Column = 2;
    OnGridEvent(app.grid, QueryCellFormat, &ci);
    EXPECT_EQ(ci.GradientStart, 0xFFFFFF);
    EXPECT_EQ(ci.GradientEnd, static_cast<std::int32_t>(GetSysColor(COLOR_GRADIENTACTIVECAPTION)));
    EXPECT_EQ(ci.BackColour, 0xFFFFFF);
    // Digits only in "Parameter"; "|" never in a host name.
    for (char c : std::string("09")) {
        ci = CellInfo{};
        ci.Column = 3;
        ci.Param = c;
        EXPECT_EQ(OnGridEvent(app.grid, CharTyped, &ci), 1);
    }
    for (char c : std::string("a-/:|")) {
        ci = CellInfo{};
        ci.Column = 3;
        ci.Param = c;
        EXPECT_EQ(OnGridEvent(app.grid, CharTyped, &ci), 0) << c;
    }
    ci = CellInfo{};
    ci.Column = 2;
    ci.Param = '|';
    EXPECT_EQ(OnGridEvent(app.grid, CharTyped, &ci), 0);
    ci.Param = 'x';
    EXPECT_EQ(OnGridEvent(app.grid, CharTyped, &ci), 1);
    ci.Column = 4;
    ci.Param = '|';
    EXPECT_EQ(OnGridEvent(app.grid, CharTyped, &ci), 1);  // comments may hold it
    ci = CellInfo{};
    ci.Column = 2;
    ci.Text = "a|b|";
    EXPECT_EQ(OnGridEvent(app.grid, CellChanged, &ci), 1);
    EXPECT_EQ(ci.Text, "ab");  // pasted text loses it
}

TEST_F(AppTest, HeaderClickTogglesAcrossLoads) {
    Start();
    std::string lib = dir.Write("mylib.lib", MsArchive(kSymbols));
    LoadImportLib(app, lib);
    app.grid->SetCellText(0, 1, "true");
    UpdateSelectionStatus(app);
    EXPECT_EQ(StatusText(app, 0), "   2 of 3 functions selected!");
    CellInfo ci;
    ci.Row = -1;
    ci.Column = 0;
    OnGridEvent(app.grid, HeaderClicked, &ci);  // first click: all off
    EXPECT_EQ(StatusText(app, 0), "   0 of 3 functions selected!");
    for (int r = 0; r < 3; ++r) EXPECT_EQ(Cell(0, r), "FALSE");
    OnGridEvent(app.grid, HeaderClicked, &ci);  // second: all on
    EXPECT_EQ(StatusText(app, 0), "   3 of 3 functions selected!");
    OnGridEvent(app.grid, HeaderClicked, &ci);  // third: off; the state survives a new load
    LoadImportLib(app, lib);
    EXPECT_EQ(StatusText(app, 0), "   3 of 3 functions selected!");
    OnGridEvent(app.grid, HeaderClicked, &ci);
    EXPECT_EQ(StatusText(app, 0), "   3 of 3 functions selected!");  // selects, already selected
    ci.Column = 2;
    OnGridEvent(app.grid, HeaderClicked, &ci);
    EXPECT_EQ(Cell(0, 0), "TRUE");
    app.grid->SetCellText(0, 2, "FALSE");
    ci = CellInfo{};
    ci.Row = 2;
    ci.Column = 0;
    OnGridEvent(app.grid, LeftButtonUp, &ci);
    EXPECT_EQ(StatusText(app, 0), "   2 of 3 functions selected!");
}

TEST_F(AppTest, TheCountFollowsABlockOfTicksClearedOrPasted) {
    Start();
    LoadImportLib(app, dir.Write("mylib.lib", MsArchive(kSymbols)));
    EXPECT_EQ(StatusText(app, 0), "   3 of 3 functions selected!");
    HWND list = FindWindowExA(app.grid->GetWindow(), nullptr, WC_LISTVIEWA, nullptr);
    ASSERT_NE(list, nullptr);
    // Delete over the three ticks clears them all, and the grid reports one cell at most.
    app.grid->SetBlock(0, 0, 1, 3);
    SendMessageA(list, WM_KEYDOWN, VK_DELETE, 0x00530001);
    SendMessageA(list, WM_KEYUP, VK_DELETE, 0xC0530001);
    for (int r = 0; r < 3; ++r) EXPECT_EQ(Cell(0, r), "FALSE");
    EXPECT_TRUE(PumpUntil([&] { return StatusText(app, 0) == "   0 of 3 functions selected!"; }))
        << StatusText(app, 0);
    // A paste of two ticks over the same block.
    ASSERT_TRUE(SetClipboardTextForTest("TRUE\r\nTRUE\r\n"));
    app.grid->SetCurrentCell(0, 1, 0, 0);
    app.grid->PasteClipboard();
    EXPECT_EQ(Cell(0, 2), "TRUE");
    EXPECT_TRUE(PumpUntil([&] { return StatusText(app, 0) == "   2 of 3 functions selected!"; }))
        << StatusText(app, 0);
}

TEST_F(AppTest, CopyImportEqualsThePreviewAndFollowsTheOptions) {
    Start();
    LoadImportLib(app, dir.Write("mylib.lib", MsArchive(kSymbols)));
    app.grid->SetCellText(4, 1, "first call");
    HWND toggle = app.controls[CtlPreviewToggle];
    SendMessageA(toggle, BM_CLICK, 0, 0);
    EXPECT_TRUE(IsWindowVisible(app.preview));
    EXPECT_FALSE(IsWindowVisible(app.grid->GetWindow()));
    RunCommand(app, CmdCopyImport);
    std::string copied = ClipboardText();
    EXPECT_EQ(PreviewText(app.preview), copied);
    EXPECT_NE(copied.find("Import \"mylib.lib\"\r\n  DoThing(a.i, b.i) As \"_DoThing@8\"\r\n"
                          "  Other() As \"_Other@0\" ; first call\r\n"),
              std::string::npos)
        << copied;
    // Changing the convention while the preview is shown updates it at once.
    HWND list = app.controls[CtlConvention];
    SendMessageA(list, CB_SETCURSEL, 1, 0);
    SendMessageA(app.main, WM_COMMAND, MAKEWPARAM(CtlConvention, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
    EXPECT_NE(PreviewText(app.preview).find("ImportC \"mylib.lib\""), std::string::npos);
    SendMessageA(app.controls[CtlAliasCheck], BM_CLICK, 0, 0);
    EXPECT_NE(PreviewText(app.preview).find("  DoThing(a.i, b.i)\r\n"), std::string::npos);
    SendMessageA(toggle, BM_CLICK, 0, 0);
    EXPECT_FALSE(IsWindowVisible(app.preview));
    EXPECT_TRUE(IsWindowVisible(app.grid->GetWindow()));
}

TEST_F(AppTest, CtrlCCopiesTheBlockWhateverHasTheFocus) {
    Start();
    LoadImportLib(app, dir.Write("mylib.lib", MsArchive(kSymbols)));
    CopyImport("something else");
    SetFocus(app.grid->GetWindow());
    MSG msg{};
    msg.hwnd = GetFocus() ? GetFocus() : app.grid->GetWindow();
    msg.message = WM_KEYDOWN;
    msg.wParam = 'C';
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    keys[VK_CONTROL] = 0x80;
    SetKeyboardState(keys);
    EXPECT_TRUE(TranslateAcceleratorA(app.main, app.accelerators, &msg));
    keys[VK_CONTROL] = 0;
    SetKeyboardState(keys);
    EXPECT_EQ(ClipboardText().substr(0, 14), "\r\n; Libname: m");
}

TEST_F(AppTest, ProjectSavedAndReopened) {
    Start();
    LoadImportLib(app, dir.Write("mylib.lib", MsArchive(kSymbols)));
    app.grid->SetCellText(0, 1, "FALSE");
    app.grid->SetCellText(2, 0, "Renamed");
    app.grid->SetCellText(3, 0, "7");
    app.grid->SetCellText(4, 2, "note | with bar");
    SendMessageA(app.controls[CtlConvention], CB_SETCURSEL, 2, 0);
    SendMessageA(app.controls[CtlAliasCheck], BM_SETCHECK, BST_CHECKED, 0);
    app.state.SavePath = "D:\\src\\";
    std::string project = dir.File("mine.zdx");
    ask.answers = {project};
    RunCommand(app, CmdSaveProject);
    ASSERT_EQ(ask.asked.back().title, "Zandrel - Save Project");
    EXPECT_EQ(ask.asked.back().initial, "D:\\src\\mylib.zdx");
    EXPECT_EQ(ReadFile(project),
              "[Global]\r\nLibName = mylib.lib\r\nLastPath = " + app.state.LastPath +
                  "\r\nSavePath = D:\\src\\\r\nCallingConvention = 2\r\nAlias = 1\r\nCountFunc = 3\r\n\r\n"
                  "[Grid]\r\nItem_0 = TRUE|Renamed|_DoThing@8|7|\r\nItem_1 = FALSE|Other|_Other@0|0|\r\n"
                  "Item_2 = TRUE|_Under|__Under@4|1|note | with bar\r\n");
    const std::string lastPath = app.state.LastPath;
    EndApplication(app);
    app = App{};

    Start();
    OpenCommandLine(app, {project});
    EXPECT_EQ(app.state.ProjectFile, project);
    EXPECT_EQ(Title(), "Zandrel 2013  - mylib.lib  (3 Functions)");
    EXPECT_EQ(app.state.LastPath, lastPath);
    EXPECT_EQ(app.state.SavePath, "D:\\src\\");
    EXPECT_EQ(SendMessageA(app.controls[CtlConvention], CB_GETCURSEL, 0, 0), 2);
    EXPECT_EQ(SendMessageA(app.controls[CtlAliasCheck], BM_GETCHECK, 0, 0), BST_CHECKED);
    ASSERT_EQ(app.grid->RowCount(), 3);
    EXPECT_EQ(Cell(2, 0), "Renamed");
    EXPECT_EQ(Cell(0, 1), "FALSE");
    EXPECT_EQ(Cell(4, 2), "note | with bar");
    EXPECT_EQ(StatusText(app, 0), "   2 of 3 functions selected!");
    EXPECT_FALSE(MenuCommandEnabled(app, CmdOpenProject));
    // Quitting with rows and a known project saves it without asking.
    app.grid->SetCellText(4, 0, "added later");
    std::size_t asked = ask.asked.size();
    QuitSequence(app);
    EXPECT_EQ(ask.asked.size(), asked);
    EXPECT_NE(ReadFile(project).find("Item_0 = TRUE|Renamed|_DoThing@8|7|added later\r\n"), std::string::npos);
}

TEST_F(AppTest, SaveProjectNeedsRowsAndQuitWithoutProjectWritesNothing) {
    Start();
    RunCommand(app, CmdSaveProject);
    EXPECT_TRUE(ask.asked.empty());
    LoadImportLib(app, dir.Write("noext", MsArchive(kSymbols)));
    ask.answers = {""};
    RunCommand(app, CmdSaveProject);
    ASSERT_EQ(ask.asked.size(), 1u);
    EXPECT_EQ(std::filesystem::path(ask.asked[0].initial).filename().string(), "noextzdx");
    EXPECT_EQ(app.state.ProjectFile, "");
    std::size_t asked = ask.asked.size();
    QuitSequence(app);
    EXPECT_EQ(ask.asked.size(), asked);
}

TEST_F(AppTest, CommandLineAndDrops) {
    Start();
    std::string lib = dir.Write("Mixed.LiB", MsArchive(kSymbols));
    OpenCommandLine(app, {lib, "C:\\open here\\", "D:\\save here\\"});
    EXPECT_EQ(app.grid->RowCount(), 3);
    EXPECT_EQ(app.state.SavePath, "D:\\save here\\");
    EXPECT_FALSE(MenuCommandEnabled(app, CmdOpenProject));
    EndApplication(app);
    app = App{};

    Start();
    OpenCommandLine(app, {dir.File("missing.lib"), "C:\\x\\"});
    EXPECT_EQ(app.state.LastPath, "C:\\x\\");
    EXPECT_EQ(app.state.SavePath, "");
    // Folders given without their backslash get it: Save Import and Save Project propose
    // "C:\out\mylib.pbi" and "C:\out\mylib.zdx", not "C:\outmylib.pbi".
    OpenCommandLine(app, {dir.File("missing.lib"), "C:\\in", "C:\\out"});
    EXPECT_EQ(app.state.LastPath, "C:\\in\\");
    EXPECT_EQ(app.state.SavePath, "C:\\out\\");
    OpenCommandLine(app, {dir.Write("mylib.lib", MsArchive(kSymbols)), "C:\\in", "C:\\out"});
    ask.answers = {"", ""};
    RunCommand(app, CmdSaveImport);
    ASSERT_FALSE(ask.asked.empty());
    EXPECT_EQ(ask.asked.back().initial, "C:\\out\\mylib.pbi");
    RunCommand(app, CmdSaveProject);
    EXPECT_EQ(ask.asked.back().initial, "C:\\out\\mylib.zdx");
    EndApplication(app);
    app = App{};
    Start();
    EXPECT_TRUE(MenuCommandEnabled(app, CmdOpenProject));  // nothing existing was given
    OpenCommandLine(app, {dir.Write("other.txt", "x")});
    EXPECT_FALSE(MenuCommandEnabled(app, CmdOpenProject));
    EXPECT_EQ(app.grid->RowCount(), 0);
    // A drop of three files on the empty table opens the first; a DLL without librarian is ignored.
    HandleDrop(app, dir.Write("a.dll", "MZ") + "\n" + lib + "\n");
    EXPECT_EQ(app.grid->RowCount(), 0);
    HandleDrop(app, lib + "\n" + dir.File("b.lib") + "\n" + dir.File("c.lib") + "\n");
    EXPECT_EQ(app.grid->RowCount(), 3);
}

namespace {

// A drop of one file, as the shell hands it over (the receiver frees it).
HDROP DropOf(const std::string& file) {
    DROPFILES head{};
    head.pFiles = sizeof head;
    std::string block(reinterpret_cast<const char*>(&head), sizeof head);
    block += file + std::string(2, '\0');
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, block.size());
    std::memcpy(GlobalLock(memory), block.data(), block.size());
    GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
}

}  // namespace

TEST_F(AppTest, FilesDroppedOnTheGridsWindowsOpenThem) {
    Start();
    const std::string lib = dir.Write("dropped.lib", MsArchive(kSymbols));
    HWND container = app.grid->GetWindow();
    HWND list = GetWindow(container, GW_CHILD);
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(GetWindowLongPtrA(container, GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
    EXPECT_TRUE(GetWindowLongPtrA(list, GWL_EXSTYLE) & WS_EX_ACCEPTFILES);

    SendMessageA(container, WM_DROPFILES, reinterpret_cast<WPARAM>(DropOf(lib)), 0);
    EXPECT_EQ(app.grid->RowCount(), 3);
    EXPECT_EQ(Title(), "Zandrel 2013  - dropped.lib  (3 Functions)");

    // On the list too; the grid's own handling of the list goes on behind the forwarding.
    app.grid->ClearRows();
    SendMessageA(list, WM_DROPFILES, reinterpret_cast<WPARAM>(DropOf(lib)), 0);
    EXPECT_EQ(app.grid->RowCount(), 3);
    EXPECT_EQ(Cell(2, 0), "DoThing");
    app.grid->SetCellText(4, 1, "note");
    EXPECT_EQ(Cell(4, 1), "note");

    // A second main window in the same process forwards its own drops (the first one's windows
    // are gone, their forwarding with them).
    EndApplication(app);
    app = App{};
    Start();
    list = GetWindow(app.grid->GetWindow(), GW_CHILD);
    SendMessageA(list, WM_DROPFILES, reinterpret_cast<WPARAM>(DropOf(lib)), 0);
    EXPECT_EQ(app.grid->RowCount(), 3);
}

TEST_F(AppTest, AProjectIsSavedOnlyOverTheTableItHolds) {
    Start();
    const std::string libA = dir.Write("a.lib", MsArchive(kSymbols)), libB = dir.Write("b.lib", MsArchive(kSymbols));
    LoadImportLib(app, libA);
    app.grid->SetCellText(4, 0, "edited in A");
    const std::string projectA = dir.File("a.zdx");
    ask.answers = {projectA};
    RunCommand(app, CmdSaveProject);
    const std::string savedA = ReadFile(projectA);
    ASSERT_NE(savedA.find("edited in A"), std::string::npos);
    EndApplication(app);
    app = App{};

    // Started with A, then Open Library B: neither Save Project nor quitting writes B over A.
    Start();
    OpenCommandLine(app, {projectA});
    ASSERT_EQ(app.state.ProjectFile, projectA);
    app.grid->SetCellText(4, 1, "edited again");
    ask.answers = {libB, ""};
    const std::size_t asked = ask.asked.size();
    RunCommand(app, CmdOpenLibrary);
    EXPECT_EQ(app.state.LibName, "b.lib");
    EXPECT_EQ(app.state.ProjectFile, "");
    RunCommand(app, CmdSaveProject);
    ASSERT_EQ(ask.asked.size(), asked + 2);
    EXPECT_EQ(ask.asked.back().title, "Zandrel - Save Project");
    EXPECT_EQ(ask.asked.back().initial, app.state.LastPath + "b.zdx");
    QuitSequence(app);
    EXPECT_EQ(ReadFile(projectA), savedA);
    EndApplication(app);
    app = App{};

    // Open Project on a file that is no project, or on one that cannot be read, keeps no path
    // and changes nothing else; a library opened afterwards is no reason to write there.
    const std::string notes = dir.Write("notes.zdx", "just some notes\r\nnothing else\r\n");
    const std::string binary = dir.Write("binary.zdx", MsArchive(kSymbols));
    for (const std::string& path : {notes, binary, dir.File("missing.zdx")}) {
        SCOPED_TRACE(path);
        const std::string before = ReadFile(path);
        Start();
        app.state.LastPath = dir.File("");
        ask.answers = {path};
        RunCommand(app, CmdOpenProject);
        EXPECT_EQ(app.state.ProjectFile, "");
        EXPECT_EQ(app.state.LastPath, dir.File(""));
        EXPECT_EQ(Title(), "Zandrel 2013");
        LoadImportLib(app, libB);
        ask.answers = {""};
        RunCommand(app, CmdSaveProject);
        EXPECT_EQ(ask.asked.back().title, "Zandrel - Save Project");
        QuitSequence(app);
        EXPECT_EQ(ReadFile(path), before);
        EXPECT_EQ(std::filesystem::exists(path), !before.empty());
        EndApplication(app);
        app = App{};
    }
}

namespace {

// The lines of a text written with CR LF line ends; a CR or LF anywhere else fails the test.
std::vector<std::string> CrLfLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find("\r\n", at);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(at, end - at));
        EXPECT_EQ(lines.back().find_first_of("\r\n"), std::string::npos) << lines.back();
        at = end + 2;
    }
    return lines;
}

void PasteInto(HWND editor, const std::string& text) {
    ASSERT_TRUE(SetClipboardTextForTest(text));
    SendMessageA(editor, EM_SETSEL, 0, -1);  // as after Ctrl+A: the paste replaces the text
    SendMessageA(editor, WM_PASTE, 0, 0);
    PumpPending();
}

}  // namespace

TEST_F(AppTest, BarsAndLineBreaksTakeNoRoadIntoTheFiles) {
    Start();
    // Symbol names from a library that holds a bar and a line break in them.
    const std::vector<std::string> symbols = {"__IMPORT_DESCRIPTOR_odd", "_Bar|Name@4", "_Fine@0", "_Two\r\nLines@8",
                                              "__imp__Bar|Name@4", "__imp__Fine@0", "__imp__Two\r\nLines@8"};
    LoadImportLib(app, dir.Write("odd.lib", MsArchive(symbols)));
    ASSERT_EQ(app.grid->RowCount(), 3);
    ASSERT_EQ(Cell(1, 0), "_Bar|Name@4");
    ASSERT_EQ(Cell(1, 2), "_Two\r\nLines@8");
    const std::string project = dir.File("roads.zdx");
    ask.answers = {project};
    RunCommand(app, CmdSaveProject);
    ASSERT_EQ(app.state.ProjectFile, project);
    HWND list = GetWindow(app.grid->GetWindow(), GW_CHILD);
    HWND editor = FindWindowExA(list, nullptr, "Edit", nullptr);
    ASSERT_NE(editor, nullptr);

    // A grid paste into every column splits rows only at CR: the bare LF comes in with the rest.
    app.grid->SetCurrentCell(0, 1, 0, 1);
    ASSERT_TRUE(SetClipboardTextForTest("TR|UE\tskipped\tPB|name\nsecond\t1|\tcom|ment\nmore\r\n"));
    EXPECT_EQ(app.grid->PasteClipboard(), 4);
    // The table's answers keep each cell to what the files hold, so the grid shows what is saved.
    EXPECT_EQ(Cell(0, 1), "TRUE");
    EXPECT_EQ(Cell(2, 1), "PBname second");
    EXPECT_EQ(Cell(3, 1), "1");
    EXPECT_EQ(Cell(4, 1), "com|ment more");

    // Ctrl+V in an open editor, then Save Project from the menu: nothing commits first.
    app.grid->SetCurrentCell(2, 0, 1, 1);
    PasteInto(editor, "Pa|sted");
    ASSERT_EQ(Cell(2, 0), "Pa|sted");
    RunCommand(app, CmdSaveProject);
    std::vector<std::string> lines = CrLfLines(ReadFile(project));
    ASSERT_EQ(lines.size(), 12u);
    EXPECT_EQ(lines[9], "Item_0 = TRUE|Pasted|_BarName@4|1|");
    EXPECT_EQ(lines[10], "Item_1 = TRUE|PBname second|_Fine@0|1|com|ment more");
    EXPECT_EQ(lines[11], "Item_2 = TRUE|TwoLines|_Two Lines@8|2|");

    // A wheel turn stores the editor's pending text in the cell, without a commit.
    app.grid->SetCurrentCell(4, 2, 1, 1);
    SetWindowTextA(editor, "wheel|turn\r\nnext");
    PumpPending();
    RECT r{};
    GetWindowRect(list, &r);
    SendMessageA(list, WM_MOUSEWHEEL, MAKEWPARAM(0, -WHEEL_DELTA), MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2));
    PumpPending();
    EXPECT_EQ(Cell(4, 2), "wheel|turn\r\nnext");

    // The import block: one line per declaration, whatever the cells hold.
    lines = CrLfLines(GenerateFromTable(app));
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[4], "  Pasted(a.i) As \"_Bar|Name@4\"");
    EXPECT_EQ(lines[5], "  PBname second(a.i) As \"_Fine@0\" ; com|ment more");
    EXPECT_EQ(lines[6], "  TwoLines(a.i, b.i) As \"_Two Lines@8\" ; wheel|turn next");

    RunCommand(app, CmdSaveProject);
    lines = CrLfLines(ReadFile(project));
    ASSERT_EQ(lines.size(), 12u);
    EXPECT_EQ(lines[11], "Item_2 = TRUE|TwoLines|_Two Lines@8|2|wheel|turn next");

    // Ctrl+V in an editor and straight to Quit: the silent save keeps every item on its line.
    app.grid->SetCurrentCell(2, 2, 1, 1);
    PasteInto(editor, "quit|name");
    QuitSequence(app);
    lines = CrLfLines(ReadFile(project));
    ASSERT_EQ(lines.size(), 12u);
    EXPECT_EQ(lines[11], "Item_2 = TRUE|quitname|_Two Lines@8|2|wheel|turn next");
}

namespace {

// Text in the system's ANSI code page, independent of the program's own conversions.
std::string Utf8ToSystemAnsi(const std::string& utf8) {
    std::wstring wide(utf8.size(), L'\0');
    wide.resize(static_cast<std::size_t>(
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), static_cast<int>(wide.size()))));
    std::string out(wide.size() * 2, '\0');
    out.resize(static_cast<std::size_t>(WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()),
                                                            out.data(), static_cast<int>(out.size()), nullptr, nullptr)));
    return out;
}

bool UnderWine() { return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr; }

}  // namespace

// Run also under Cyrillic and Japanese code pages (the build tree sets the locale Wine takes the
// code page from, and says which one it expects in ZANDREL_EXPECT_ACP).
TEST_F(AppTest, ProjectTextInTheSystemCodePage) {
    if (const char* expected = std::getenv("ZANDREL_EXPECT_ACP")) {
        if (GetACP() != static_cast<UINT>(std::atoi(expected))) {
            if (UnderWine()) FAIL() << "Wine gave code page " << GetACP() << " instead of " << expected;
            GTEST_SKIP() << "the system's code page is " << GetACP();
        }
    }
    struct Texts {
        std::string lib, name, comment;
    };
    const Texts t = GetACP() == 1251  ? Texts{"библиотека.lib", "Функция", "открывает окно"}
                    : GetACP() == 932 ? Texts{"ライブラリ.lib", "関数", "日本語のコメント"}
                                      : Texts{"café.lib", "Grüße", "€ 5 ñ"};
    const std::string project = dir.Write(
        "utf8.zdx", "\xEF\xBB\xBF[Global]\r\nLibName = " + t.lib + "\r\nCountFunc = 2\r\n\r\n[Grid]\r\n"
                    "Item_0 = TRUE|" + t.name + "|_F@4|1|" + t.comment + "\r\nItem_1 = FALSE|g|_g@0|0|plain\r\n");
    // The project opened in a new window holds the system's single-byte text of each value.
    auto openAndCheck = [&] {
        Start();
        OpenProject(app, project);
        ASSERT_EQ(app.grid->RowCount(), 2);
        EXPECT_EQ(app.state.LibName, Utf8ToSystemAnsi(t.lib));
        EXPECT_EQ(Cell(2, 0), Utf8ToSystemAnsi(t.name));
        EXPECT_EQ(Cell(4, 0), Utf8ToSystemAnsi(t.comment));
        EXPECT_EQ(Cell(4, 0).find('?'), std::string::npos);
    };
    openAndCheck();

    // Save Import gives back the very characters the project held.
    const std::string source = dir.File("out.pbi");
    ask.answers = {source};
    RunCommand(app, CmdSaveImport);
    const std::string written = ReadFile(source);
    EXPECT_NE(written.find("; Libname: " + t.lib + "\r\n"), std::string::npos);
    EXPECT_NE(written.find("  " + t.name + "(a.i) As \"_F@4\" ; " + t.comment + "\r\n"), std::string::npos)
        << written;

    // The silent save at quit writes the system's single-byte text, which reads back the same.
    QuitSequence(app);
    EndApplication(app);
    app = App{};
    EXPECT_NE(ReadFile(project).find("Item_0 = TRUE|" + Utf8ToSystemAnsi(t.name) + "|_F@4|1|" +
                                     Utf8ToSystemAnsi(t.comment) + "\r\n"),
              std::string::npos);
    openAndCheck();
}
