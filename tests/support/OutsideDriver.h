// Driving the real zandrel.exe from another process: waiting, reading window text and the
// clipboard, and the import block without its clock-dependent line.
#pragma once
#include <windows.h>

#include <chrono>
#include <functional>
#include <string>

namespace ztest {

inline bool WaitFor(const std::function<bool()>& done, int limitMs = 30000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        Sleep(20);
    }
    return true;
}

// A window's text; a program too busy to answer within `limitMs` gives "".
inline std::string Text(HWND w, unsigned limitMs = 5000) {
    char buf[1024] = {};
    SendMessageTimeoutA(w, WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG, limitMs, nullptr);
    return buf;
}

struct FindData {
    DWORD pid;
    std::string cls, titlePrefix;
    HWND found = nullptr;
};

inline BOOL CALLBACK FindTop(HWND w, LPARAM lp) {
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

// The visible top-level window of process `pid` with class `cls` whose title starts with
// `titlePrefix`, or null.
inline HWND FindWindowOf(DWORD pid, const std::string& cls, const std::string& titlePrefix) {
    FindData f{pid, cls, titlePrefix};
    EnumWindows(FindTop, reinterpret_cast<LPARAM>(&f));
    return f.found;
}

inline std::string ClipboardText() {
    std::string text;
    if (!OpenClipboard(nullptr)) return {};
    if (HANDLE h = GetClipboardData(CF_TEXT)) {
        if (const char* p = static_cast<const char*>(GlobalLock(h))) text = p;
        GlobalUnlock(h);
    }
    CloseClipboard();
    return text;
}

// Everything but the "; created:" line, which follows the clock.
inline std::string WithoutStamp(std::string text) {
    std::size_t at = text.find("; created: ");
    if (at != std::string::npos) text.erase(at, text.find("\r\n", at) - at);
    return text;
}

}  // namespace ztest
