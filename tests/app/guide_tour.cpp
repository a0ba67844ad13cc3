// guide-tour: the steps the user guide shows, taken on the real zandrel.exe from outside its
// process, with host-sim standing in for the host IDE; at each step it asks for a screenshot.
//   guide-tour ZANDREL_EXE HOST_SIM_EXE FOLDER
// FOLDER is the documents folder, where Zandrel's requesters start (a Windows path). It holds
// user32.lib, an import library with stdcall names, and zsample.dll; the tour writes its project
// and the host's source file there. A picture is asked for by writing FOLDER\shot.txt,
// "NAME WIDTHxHEIGHT+X+Y" (the screen area of the windows it shows); scripts/screenshots.sh
// takes it and removes the file, and the tour goes on. Every step checks that the program did
// what the guide says; the first that does not ends the tour with status 1, so no picture of a
// broken step lands in the guide.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/App.h"
#include "readers/ImportLib.h"
#include "table/FunctionTable.h"
#include "table/ImportSource.h"
#include "support/OutsideDriver.h"

using namespace zandrel;
using namespace ztest;

namespace {

using Steady = std::chrono::steady_clock;
const Steady::time_point kStart = Steady::now();
std::string g_folder;  // with its trailing backslash
constexpr int kLoadMs = 120000;  // a thousand rows, in a prefix that may have just been made

void Say(const std::string& what) {
    std::printf("%6.1f s  %s\n", std::chrono::duration<double>(Steady::now() - kStart).count(), what.c_str());
    std::fflush(stdout);
}

void Shot(const std::string& name, std::initializer_list<HWND> windows);

// A step that failed ends the tour, with a picture of the screen as it then was.
void Check(bool ok, const std::string& what) {
    if (ok) return;
    Say("FAILED: " + what);
    static bool failing = false;
    if (!failing) {
        failing = true;
        Shot("failed", {GetDesktopWindow()});
    }
    throw std::runtime_error(what);
}

class Process {
public:
    explicit Process(const std::string& commandLine) {
        std::string line = commandLine;
        STARTUPINFOA si{};
        si.cb = sizeof si;
        Check(CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi_),
              "cannot start " + commandLine);
    }
    ~Process() {
        if (WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(pi_.hProcess, 9);
        CloseHandle(pi_.hThread);
        CloseHandle(pi_.hProcess);
    }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    DWORD pid() const { return pi_.dwProcessId; }
    bool Ended(int limitMs) const { return WaitForSingleObject(pi_.hProcess, limitMs) == WAIT_OBJECT_0; }

private:
    PROCESS_INFORMATION pi_{};
};

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// A window's whole text, however long.
std::string LongText(HWND w) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(w, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length)) return {};
    std::string text(length + 1, '\0');
    DWORD_PTR got = 0;
    SendMessageTimeoutA(w, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG, 5000,
                        &got);
    text.resize(got);
    return text;
}

HWND Waited(const std::function<HWND()>& find, const std::string& what, int limitMs = 60000) {
    HWND w = nullptr;
    Check(WaitFor([&] { return (w = find()) != nullptr; }, limitMs), "no " + what);
    return w;
}

// The screen area that shows all of `windows`, as ImageMagick's geometry.
std::string Area(std::initializer_list<HWND> windows) {
    RECT all{};
    for (HWND w : windows) {
        RECT r{};
        GetWindowRect(w, &r);
        if (IsRectEmpty(&all)) all = r;
        else UnionRect(&all, &all, &r);
    }
    RECT screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    IntersectRect(&all, &all, &screen);
    return std::to_string(all.right - all.left) + "x" + std::to_string(all.bottom - all.top) + "+" +
           std::to_string(all.left) + "+" + std::to_string(all.top);
}

// Asks for a picture of `windows` and waits until it has been taken.
void Shot(const std::string& name, std::initializer_list<HWND> windows) {
    // A message answered by each window's thread: what it was asked to do before is done.
    for (HWND w : windows) SendMessageTimeoutA(w, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
    const std::string request = g_folder + "shot.txt", part = g_folder + "shot.new";
    std::ofstream(part, std::ios::binary) << name << " " << Area(windows) << "\n";
    // Renamed into place, so that the script never reads half a request.
    Check(MoveFileExA(part.c_str(), request.c_str(), MOVEFILE_REPLACE_EXISTING) != 0, "cannot write " + request);
    Check(WaitFor([&] { return !Exists(request); }, 120000), "no one took the picture " + name);
    Say("picture " + name);
}

// --- The main window and its grid -------------------------------------------------------------

HWND ZandrelWindow(DWORD pid, const std::string& titlePrefix) {
    return Waited([&] { return FindWindowOf(pid, "ZandrelMainWindow", titlePrefix); }, "window \"" + titlePrefix + "\"");
}

std::string StatusField0(HWND main) {
    std::string t = Text(FindWindowExA(main, nullptr, "msctls_statusbar32", nullptr));
    while (!t.empty() && t[0] == '\t') t.erase(0, 1);
    return t;
}

void WaitStatus(HWND main, const std::string& expected) {
    Check(WaitFor([&] { return StatusField0(main) == expected; }), "status \"" + StatusField0(main) + "\", not \"" +
                                                                        expected + "\"");
}

HWND GridList(HWND main) {
    HWND container = FindWindowExA(main, nullptr, "ZandrelGridContainer", nullptr);
    return container ? FindWindowExA(container, nullptr, "SysListView32", nullptr) : nullptr;
}

// Column c of the function table spans these pixels of the list (its label column is hidden);
// rows are 20 pixels high below a header of 20.
int ColumnMiddle(int column) {
    const int lefts[] = {0, 20, 220, 420, 465}, widths[] = {20, 200, 200, 45, 300};
    return lefts[column] + widths[column] / 2;
}

struct Grid {
    HWND list;
    int top;  // the row shown first
    int RowY(int row) const { return 20 + 20 * (row - top) + 10; }
};

void Click(HWND w, int x, int y) {
    PostMessageA(w, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    PostMessageA(w, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
}

// Scrolls the grid so that `row` comes first, as the scroll bar would.
Grid ScrolledTo(HWND list, int row) {
    const LRESULT now = SendMessageA(list, LVM_GETTOPINDEX, 0, 0);
    SendMessageA(list, LVM_SCROLL, 0, static_cast<LPARAM>((row - now) * 20));
    Check(WaitFor([&] { return SendMessageA(list, LVM_GETTOPINDEX, 0, 0) == row; }),
          "the grid did not scroll to row " + std::to_string(row));
    return {list, row};
}

struct ChildSearch {
    const char* cls;
    POINT at;
    HWND found;
};

BOOL CALLBACK ChildAt(HWND w, LPARAM lp) {
    auto* s = reinterpret_cast<ChildSearch*>(lp);
    char cls[64] = {};
    GetClassNameA(w, cls, sizeof cls);
    RECT r{};
    GetWindowRect(w, &r);
    if (std::string(cls) == s->cls && IsWindowVisible(w) && PtInRect(&r, s->at)) {
        s->found = w;
        return FALSE;
    }
    return TRUE;
}

// Opens the in-place editor of a cell, as a user does: one click makes it the current cell, the
// next opens its editor (a window of class `cls` over the cell). Under a busy Wine a click may
// come before the window is active and go astray; then the user simply clicks again.
HWND OpenEditor(const Grid& g, int column, int row, const char* cls) {
    POINT at{ColumnMiddle(column), g.RowY(row)};
    ClientToScreen(g.list, &at);
    for (int attempt = 0; attempt < 6; ++attempt) {
        Click(g.list, ColumnMiddle(column), g.RowY(row));
        ChildSearch search{cls, at, nullptr};
        if (WaitFor([&] {
                search.found = nullptr;
                EnumChildWindows(g.list, ChildAt, reinterpret_cast<LPARAM>(&search));
                return search.found != nullptr;
            }, 3000))
            return search.found;
    }
    Check(false, "no editor opened on column " + std::to_string(column) + " of row " + std::to_string(row));
    return nullptr;
}

// Types `text` over a cell's content and leaves its editor open.
HWND TypeIntoCell(const Grid& g, int column, int row, const std::string& text) {
    HWND editor = OpenEditor(g, column, row, "Edit");
    SendMessageA(editor, EM_SETSEL, 0, -1);
    for (char c : text) PostMessageA(editor, WM_CHAR, static_cast<unsigned char>(c), 1);
    Check(WaitFor([&] { return Text(editor) == text; }), "typing \"" + text + "\" gave \"" + Text(editor) + "\"");
    return editor;
}

// The check box's caption in the font the program gives its controls, after the box and a gap of
// half a character: on Windows it fits its box, and a wider stand-in for a missing font cuts it
// off in every picture.
void CheckFonts(HWND main) {
    const std::string caption = "Importsource without Alias";
    HWND alias = FindWindowExA(main, nullptr, "Button", caption.c_str());
    Check(alias != nullptr, "no check box \"" + caption + "\"");
    RECT box{};
    GetClientRect(alias, &box);
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    // The family drawn, where the font tells it: a substitution keeps the name asked for.
    char asked[LF_FACESIZE] = {};
    GetTextFaceA(dc, sizeof asked, asked);
    std::string face = asked;
    if (const UINT n = GetOutlineTextMetricsA(dc, 0, nullptr)) {
        std::vector<char> buffer(n);
        auto* otm = reinterpret_cast<OUTLINETEXTMETRICA*>(buffer.data());
        if (GetOutlineTextMetricsA(dc, n, otm)) face = buffer.data() + reinterpret_cast<std::uintptr_t>(otm->otmpFamilyName);
    }
    SIZE size{};
    GetTextExtentPoint32A(dc, caption.c_str(), static_cast<int>(caption.size()), &size);
    TEXTMETRICA tm{};
    GetTextMetricsA(dc, &tm);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    const int needed = GetSystemMetrics(SM_CXMENUCHECK) + tm.tmAveCharWidth / 2 + size.cx;
    Say("controls' font: " + face + ", " + std::to_string(tm.tmHeight) + " pixels high, " +
        (tm.tmPitchAndFamily & TMPF_TRUETYPE ? "TrueType" : "bitmap") + "; \"" + caption + "\" needs " +
        std::to_string(needed) + " of " + std::to_string(box.right) + " pixels");
    Check(needed <= box.right, "\"" + caption + "\" is cut off: this Wine prefix lacks fonts with Windows' metrics");
}

// What the guide's library and edits should give: the library's rows with only MessageBeep and
// MessageBoxA ticked, MessageBoxA renamed and commented.
struct Plan {
    RowTable rows;
    int beep = -1, box = -1;
    std::string Block() const {
        ImportOptions options;
        options.LibName = "user32.lib";
        return WithoutStamp(GenerateImportSource(rows, options));
    }
};

Plan MakePlan(const std::string& library) {
    SymbolList symbols;
    const ReadStatus status = ReadLibFile(library, symbols);
    Check(!IsReadFailure(status), library + ": " + ReadStatusText(status));
    Plan plan{RowsFromSymbols(symbols)};
    for (int r = 0; r < plan.rows.RowCount(); ++r) {
        const std::string name = plan.rows.CellText(ColFunctionName, r);
        if (name == "_MessageBeep@4") plan.beep = r;
        if (name == "_MessageBoxA@16") plan.box = r;
        plan.rows.rows[r][ColSelected] = "FALSE";
    }
    Check(plan.beep >= 0 && plan.box >= 0, library + " has no _MessageBeep@4 or _MessageBoxA@16");
    plan.rows.rows[plan.beep][ColSelected] = "TRUE";
    plan.rows.rows[plan.box][ColSelected] = "TRUE";
    plan.rows.rows[plan.box][ColPBFunctionName] = "MsgBox";
    plan.rows.rows[plan.box][ColComment] = "shows a message";
    return plan;
}

std::string Selected(int selected, int rows) {
    return "   " + std::to_string(selected) + " of " + std::to_string(rows) + " functions selected!";
}

struct ChildOfClass {
    const char* cls;
    bool visible;
    HWND found;
};

BOOL CALLBACK FirstOfClass(HWND w, LPARAM lp) {
    auto* s = reinterpret_cast<ChildOfClass*>(lp);
    char c[64] = {};
    GetClassNameA(w, c, sizeof c);
    if (std::string(c) != s->cls || (s->visible && !IsWindowVisible(w))) return TRUE;
    s->found = w;
    return FALSE;
}

// The first child (at any depth) of class `cls`, visible if so asked.
HWND FindChild(HWND parent, const char* cls, bool visible = false) {
    ChildOfClass search{cls, visible, nullptr};
    EnumChildWindows(parent, FirstOfClass, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Types a path into a file requester of process `pid` and presses its OK button.
void AnswerFileDialog(DWORD pid, const std::string& title, const std::string& path, const char* picture = nullptr,
                      HWND main = nullptr) {
    HWND dialog = Waited([&] { return FindWindowOf(pid, "#32770", title); }, "requester \"" + title + "\"");
    HWND edit = Waited([&] { return FindChild(dialog, "Edit", true); }, "file name field in \"" + title + "\"");
    SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    if (picture) {
        // The folder's files listed, as a user sees them before choosing.
        HWND files = nullptr;
        WaitFor([&] {
            files = FindWindowExA(FindWindowExA(dialog, nullptr, "SHELLDLL_DefView", nullptr), nullptr,
                                  "SysListView32", nullptr);
            return files && SendMessageA(files, LVM_GETITEMCOUNT, 0, 0) > 0;
        });
        Shot(picture, {main, dialog});
    }
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    Check(WaitFor([&] { return !IsWindow(dialog); }), "\"" + title + "\" stayed open");
}

// Start, Open Library, the File menu, edits, the parameter list, the preview, Save Project.
void FirstVisit(const std::string& exe, const Plan& plan) {
    const std::string count = std::to_string(plan.rows.RowCount());
    Process z(Quoted(exe));
    HWND main = ZandrelWindow(z.pid(), "Zandrel 2013");
    SetWindowPos(main, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    CheckFonts(main);

    PostMessageA(main, WM_COMMAND, CmdOpenLibrary, 0);
    AnswerFileDialog(z.pid(), "Open Lib", "user32.lib", "open-library", main);
    const std::string title = "Zandrel 2013  - user32.lib  (" + count + " Functions)";
    Check(WaitFor([&] { return Text(main) == title; }, kLoadMs), "title \"" + Text(main) + "\", not \"" + title + "\"");
    Say("opened " + title);
    WaitStatus(main, Selected(plan.rows.RowCount(), plan.rows.RowCount()));
    Shot("main-window", {main});

    // The File menu, opened by its key as Alt+F does.
    SetForegroundWindow(main);
    PostMessageA(main, WM_SYSCOMMAND, SC_KEYMENU, 'f');
    HWND menu = Waited([&] { return FindWindowOf(z.pid(), "#32768", ""); }, "File menu");
    Shot("file-menu", {main, menu});
    PostMessageA(main, WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageA(main, WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageA(main, WM_CANCELMODE, 0, 0);
    Check(WaitFor([&] { return !IsWindowVisible(menu); }), "the File menu stayed open");

    // Untick everything by the check column's header, then tick the two functions wanted.
    HWND list = GridList(main);
    Check(list != nullptr, "no grid");
    HWND header = FindWindowExA(list, nullptr, "SysHeader32", nullptr);
    Click(header, ColumnMiddle(ColSelected), 10);
    WaitStatus(main, Selected(0, plan.rows.RowCount()));
    const Grid grid = ScrolledTo(list, std::max(0, plan.beep - 4));
    Click(list, ColumnMiddle(ColSelected), grid.RowY(plan.beep));
    Click(list, ColumnMiddle(ColSelected), grid.RowY(plan.box));
    WaitStatus(main, Selected(2, plan.rows.RowCount()));

    // A new name, typed into the cell: the picture shows the editor open.
    TypeIntoCell(grid, ColPBFunctionName, plan.box, "MsgBox");
    Shot("edit-cell", {main});
    TypeIntoCell(grid, ColComment, plan.box, "shows a message");  // leaving the name's cell keeps it

    // The parameter count's list, opened on MessageBeep and closed again unchanged.
    HWND combo = OpenEditor(grid, ColParameter, plan.beep, "ComboBox");
    SendMessageA(combo, CB_SHOWDROPDOWN, TRUE, 0);
    HWND dropped = Waited([&] { return FindWindowOf(z.pid(), "ComboLBox", ""); }, "parameter list");
    Shot("edit-parameter", {main, dropped});
    SendMessageA(combo, CB_SHOWDROPDOWN, FALSE, 0);
    Click(list, ColumnMiddle(ColFunctionName), grid.RowY(plan.box));  // done: keep the last edits

    // The preview shows the block the edits give.
    const std::string block = plan.Block();
    HWND toggle = FindWindowExA(main, nullptr, "Button", "Preview");
    HWND preview = FindWindowExA(main, nullptr, "Scintilla", nullptr);
    Check(toggle && preview, "no Preview button or preview");
    SendMessageA(toggle, BM_CLICK, 0, 0);
    Check(WaitFor([&] { return IsWindowVisible(preview) && WithoutStamp(LongText(preview)) == block; }),
          "the preview shows\n" + LongText(preview) + "\nnot\n" + block);
    Shot("main-preview", {main});
    SendMessageA(toggle, BM_CLICK, 0, 0);

    PostMessageA(main, WM_COMMAND, CmdSaveProject, 0);
    const std::string project = g_folder + "user32.zdx";
    AnswerFileDialog(z.pid(), "Zandrel - Save Project", project);
    Check(WaitFor([&] { return Exists(project); }), "no project " + project);
    PostMessageA(main, WM_COMMAND, CmdQuit, 0);
    Check(z.Ended(30000), "Zandrel did not quit");
}


// Open DLL: the DLL, then the system's folder requester for its import library.
void OpenDll(const std::string& exe) {
    Process z(Quoted(exe));
    HWND main = ZandrelWindow(z.pid(), "Zandrel 2013");
    SetWindowPos(main, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    PostMessageA(main, WM_COMMAND, CmdOpenDll, 0);
    AnswerFileDialog(z.pid(), "Open DLL", "zsample.dll");
    HWND dialog = Waited([&] { return FindWindowOf(z.pid(), "#32770", ""); }, "folder requester");
    HWND tree = Waited([&] { return FindChild(dialog, "SysTreeView32"); }, "folder tree");
    // The requester opens on the folder Zandrel was given: wait until its tree has gone there.
    Check(WaitFor([&] {
              const LRESULT at = SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CARET, 0);
              return at && at != SendMessageA(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0);
          }),
          "the folder requester did not go to " + g_folder);
    Shot("open-dll-folder", {main, dialog});
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    Check(WaitFor([&] { return Text(main).rfind("Zandrel 2013  - zsample.lib  (", 0) == 0; }),
          "title \"" + Text(main) + "\" after Open DLL");
    Check(Exists(g_folder + "zsample.lib"), "no zsample.lib in " + g_folder);
    PostMessageA(main, WM_COMMAND, CmdQuit, 0);
    Check(z.Ended(30000), "Zandrel did not quit");
}

// The host IDE starts Zandrel with the project; the edits are back, and Insert Import types the
// block at the editor's caret.
void FromTheHost(const std::string& exe, const std::string& hostSim, const Plan& plan) {
    const std::string before = "; hello - shows a message through user32\r\n; the import block goes here:\r\n\r\n";
    const std::string after = "MsgBox(0, @\"Hello from the host language\", @\"Hello\", 0)\r\n";
    const std::string source = g_folder + "hello.pb";
    std::ofstream(source, std::ios::binary) << before << after;
    const std::string project = g_folder + "user32.zdx";
    Process host(Quoted(hostSim) + " --text " + Quoted(source) + " --caret " + std::to_string(before.size()) + " -- " +
                 Quoted(exe) + " " + Quoted(project));
    HWND frame = Waited([&] { return FindWindowOf(host.pid(), "ZandrelHostSim", ""); }, "host IDE");
    HWND editor = Waited([&] { return FindWindowExA(frame, nullptr, "Scintilla", nullptr); }, "host's editor");
    HWND main = Waited([&] { return FindWindowA("ZandrelMainWindow", nullptr); }, "Zandrel started by the host");
    const std::string title = "Zandrel 2013  - user32.lib  (" + std::to_string(plan.rows.RowCount()) + " Functions)";
    Check(WaitFor([&] { return Text(main) == title; }, kLoadMs), "title \"" + Text(main) + "\" of the project");
    Say("opened the project: " + title);
    WaitStatus(main, Selected(2, plan.rows.RowCount()));
    // The host's editor above, Zandrel in front of it below, as the user clicks Insert Import.
    SetWindowPos(frame, nullptr, 0, 0, 760, 330, SWP_NOZORDER | SWP_NOACTIVATE);
    SetWindowPos(main, HWND_TOP, 140, 190, 0, 0, SWP_NOSIZE);
    SetForegroundWindow(main);
    Check(WaitFor([&] { return GetForegroundWindow() == main; }), "Zandrel did not come to the front");
    ScrolledTo(GridList(main), std::max(0, plan.beep - 4));
    Shot("project-reopened", {main});

    PostMessageA(main, WM_COMMAND, CmdInsertImport, 0);
    const std::string block = plan.Block();
    Check(WaitFor([&] { return WithoutStamp(LongText(editor)) == before + block + after; }),
          "the host's editor holds\n" + LongText(editor));
    Shot("insert-import", {frame, main});
    PostMessageA(main, WM_COMMAND, CmdQuit, 0);
    Check(host.Ended(30000), "Zandrel and the host did not end");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fputs("usage: guide-tour ZANDREL_EXE HOST_SIM_EXE FOLDER\n", stderr);
        return 2;
    }
    const std::string exe = argv[1], hostSim = argv[2];
    g_folder = argv[3];
    if (!g_folder.empty() && g_folder.back() != '\\') g_folder += '\\';
    try {
        const Plan plan = MakePlan(g_folder + "user32.lib");
        FirstVisit(exe, plan);
        OpenDll(exe);
        FromTheHost(exe, hostSim, plan);
    } catch (const std::exception&) {
        return 1;  // Check has said why
    }
    Say("done");
    return 0;
}
