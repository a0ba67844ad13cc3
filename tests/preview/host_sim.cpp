// host-sim: stands in for the host IDE in tests and demos. It shows a window with a Scintilla
// editor, puts that editor's handle into "PB_TOOL_Scintilla" in its environment, starts the given
// program as an external tool (which inherits the variable), keeps its window answering while
// the tool runs, and can report the editor's state afterwards.
//
//   host-sim [--codepage N] [--text FILE] [--caret POS] [--hang-add MS] [--report FILE]
//            [-- PROGRAM ARGS...]
//
// --text fills the editor with the file's bytes, --caret places the caret (default: the end).
// --hang-add makes the editor stall MS milliseconds on each text it is sent (SCI_ADDTEXT) before
// taking it, as a host that does not answer.
// --report writes "codepage=N caret=P length=L foreign=F" and a line feed, then the editor's
// bytes; F counts the editor messages that reached the frame window instead. With a
// program, host-sim ends when the program ends and returns its exit code; without one it stays
// until its window is closed.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Scintilla.h"

namespace {

int g_foreign = 0;        // Scintilla messages sent to the frame, which is no editor
DWORD g_hangAddMs = 0;
WNDPROC g_editorProc = nullptr;

LRESULT CALLBACK StallingEditorProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == SCI_ADDTEXT) Sleep(g_hangAddMs);
    return CallWindowProcA(g_editorProc, w, m, wp, lp);
}

LRESULT CALLBACK FrameProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m >= 2000 && m < 3000) ++g_foreign;  // Scintilla's message numbers
    switch (m) {
    case WM_SIZE:
        if (HWND editor = GetWindow(w, GW_CHILD)) {
            MoveWindow(editor, 0, 0, LOWORD(lp), HIWORD(lp), TRUE);
        }
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(w, m, wp, lp);
}

std::string QuoteArgument(const std::string& a) {
    if (!a.empty() && a.find_first_of(" \t\"") == std::string::npos) return a;
    std::string q = "\"";
    std::size_t slashes = 0;
    for (char c : a) {
        if (c == '\\') {
            ++slashes;
        } else {
            if (c == '"') q.append(slashes + 1, '\\');
            slashes = 0;
        }
        q += c;
    }
    q.append(slashes, '\\');
    return q + "\"";
}

bool PumpOnce() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) return false;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    int codePage = SC_CP_UTF8;
    std::string textFile, reportFile;
    long long caret = -1;
    std::vector<std::string> program;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--codepage" && i + 1 < argc) {
            codePage = std::atoi(argv[++i]);
        } else if (a == "--text" && i + 1 < argc) {
            textFile = argv[++i];
        } else if (a == "--caret" && i + 1 < argc) {
            caret = std::atoll(argv[++i]);
        } else if (a == "--hang-add" && i + 1 < argc) {
            g_hangAddMs = static_cast<DWORD>(std::atoi(argv[++i]));
        } else if (a == "--report" && i + 1 < argc) {
            reportFile = argv[++i];
        } else if (a == "--") {
            program.assign(argv + i + 1, argv + argc);
            break;
        } else {
            std::fprintf(stderr, "host-sim: unknown argument %s\n", a.c_str());
            return 2;
        }
    }

    HINSTANCE instance = GetModuleHandleA(nullptr);
    if (!Scintilla_RegisterClasses(instance)) return 3;
    WNDCLASSA wc = {};
    wc.lpfnWndProc = FrameProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = "ZandrelHostSim";
    RegisterClassA(&wc);
    HWND frame = CreateWindowExA(0, wc.lpszClassName, "Host IDE (simulated)",
                                 WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 640, 400, nullptr,
                                 nullptr, instance, nullptr);
    HWND editor = CreateWindowExA(0, "Scintilla", "", WS_CHILD | WS_VISIBLE, 0, 0, 640, 400, frame,
                                  nullptr, instance, nullptr);
    if (frame == nullptr || editor == nullptr) return 3;
    RECT rc;
    GetClientRect(frame, &rc);
    MoveWindow(editor, 0, 0, rc.right, rc.bottom, TRUE);

    SendMessageA(editor, SCI_SETCODEPAGE, static_cast<WPARAM>(codePage), 0);
    if (!textFile.empty()) {
        std::ifstream in(textFile, std::ios::binary);
        if (!in) return 4;
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        SendMessageA(editor, SCI_ADDTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
        SendMessageA(editor, SCI_EMPTYUNDOBUFFER, 0, 0);
    }
    const LRESULT length = SendMessageA(editor, SCI_GETLENGTH, 0, 0);
    SendMessageA(editor, SCI_GOTOPOS, static_cast<WPARAM>(caret < 0 ? length : caret), 0);
    if (g_hangAddMs > 0)
        g_editorProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(editor, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(StallingEditorProc)));

    // The handle as the host IDE publishes it: a 32-bit number in decimal.
    const auto handle = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(editor));
    SetEnvironmentVariableA("PB_TOOL_Scintilla", std::to_string(handle).c_str());

    DWORD exitCode = 0;
    if (!program.empty()) {
        std::string commandLine;
        for (const auto& a : program) commandLine += (commandLine.empty() ? "" : " ") + QuoteArgument(a);
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi = {};
        if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                            nullptr, &si, &pi)) {
            std::fprintf(stderr, "host-sim: cannot start %s\n", commandLine.c_str());
            return 5;
        }
        CloseHandle(pi.hThread);
        // The tool talks to our editor with SendMessage, so keep handling messages while it runs.
        for (;;) {
            DWORD r = MsgWaitForMultipleObjects(1, &pi.hProcess, FALSE, INFINITE, QS_ALLINPUT);
            if (r == WAIT_OBJECT_0) break;
            if (r != WAIT_OBJECT_0 + 1 || !PumpOnce()) break;
        }
        WaitForSingleObject(pi.hProcess, INFINITE);
        GetExitCodeProcess(pi.hProcess, &exitCode);
        CloseHandle(pi.hProcess);
        PumpOnce();
    } else {
        MSG msg;
        while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }

    if (!reportFile.empty() && IsWindow(editor)) {
        const LRESULT len = SendMessageA(editor, SCI_GETLENGTH, 0, 0);
        std::string text(static_cast<std::size_t>(len) + 1, '\0');
        SendMessageA(editor, SCI_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
        text.resize(static_cast<std::size_t>(len));
        std::ofstream out(reportFile, std::ios::binary | std::ios::trunc);
        out << "codepage=" << SendMessageA(editor, SCI_GETCODEPAGE, 0, 0)
            << " caret=" << SendMessageA(editor, SCI_GETCURRENTPOS, 0, 0) << " length=" << len
            << " foreign=" << g_foreign << "\n"
            << text;
        if (!out) return 6;
    }
    if (IsWindow(frame)) DestroyWindow(frame);
    return static_cast<int>(exitCode);
}
