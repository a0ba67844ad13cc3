// The real zandrel.exe, started as a user would and driven from outside its process: window
// title, status bar, menu commands, the system's save dialog, the clipboard, quitting.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>

#include "app/App.h"
#include "support/ArchiveBuilder.h"
#include "support/TempDir.h"

using namespace zandrel;
using namespace ztest;

namespace {

bool WaitFor(const std::function<bool()>& done, int limitMs = 30000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        Sleep(20);
    }
    return true;
}

std::string Text(HWND w) {
    char buf[1024] = {};
    SendMessageTimeoutA(w, WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG, 5000, nullptr);
    return buf;
}

struct FindData {
    DWORD pid;
    std::string cls, titlePrefix;
    HWND found = nullptr;
};

BOOL CALLBACK FindTop(HWND w, LPARAM lp) {
    auto* f = reinterpret_cast<FindData*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    char cls[128] = {};
    GetClassNameA(w, cls, sizeof cls);
    char title[512] = {};
    GetWindowTextA(w, title, sizeof title);
    if (pid == f->pid && f->cls == cls && std::string(title).rfind(f->titlePrefix, 0) == 0 && IsWindowVisible(w)) {
        f->found = w;
        return FALSE;
    }
    return TRUE;
}

HWND FindWindowOf(DWORD pid, const std::string& cls, const std::string& titlePrefix) {
    FindData f{pid, cls, titlePrefix};
    EnumWindows(FindTop, reinterpret_cast<LPARAM>(&f));
    return f.found;
}

BOOL CALLBACK FirstEdit(HWND w, LPARAM lp) {
    char cls[64] = {};
    GetClassNameA(w, cls, sizeof cls);
    if (std::string(cls) == "Edit" && IsWindowVisible(w)) {
        *reinterpret_cast<HWND*>(lp) = w;
        return FALSE;
    }
    return TRUE;
}

std::string ClipboardText() {
    std::string text;
    if (!OpenClipboard(nullptr)) return {};
    if (HANDLE h = GetClipboardData(CF_TEXT)) {
        if (const char* p = static_cast<const char*>(GlobalLock(h))) text = p;
        GlobalUnlock(h);
    }
    CloseClipboard();
    return text;
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
