// insert-probe: the external tool that host-sim starts in the insertion tests. It inserts the
// bytes of BLOCKFILE into the host editor with InsertIntoHostEditor, after preparing
// "PB_TOOL_Scintilla" as MODE says:
//   as-given   the value host-sim set (decimal)
//   hex        the same handle written "$" and hexadecimal
//   trailing   the decimal handle followed by letters
//   missing    the variable removed (after checking that it was there)
//   garbage    a value without digits
//   stale      the handle of a window that no longer exists
//   frame      the handle of the host's main window, a live window that is no editor
//   stalled    as given, to a host that stalls on the text: the call must give up in time
// Exit code 0 when the call was made and said what was expected (the block taken as-given,
// hex and trailing; refused otherwise; given up on within 15 s when stalled); other codes say
// why not: 7 an unexpected answer, 8 too slow.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "preview/HostEditor.h"

using namespace zandrel;

namespace {

std::uint32_t Handle32(HWND w) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(w));
}

bool SetVariable(const std::string& value) {
    return SetEnvironmentVariableA(kHostEditorVariable, value.c_str()) != 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: insert-probe MODE BLOCKFILE\n");
        return 2;
    }
    const std::string mode = argv[1];
    std::ifstream in(argv[2], std::ios::binary);
    if (!in) return 3;
    const std::string block((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

    HWND host = HostEditorHandle();
    if (host == nullptr || !IsWindow(host)) return 4;  // host-sim did not hand us its editor

    if (mode == "hex") {
        char value[32];
        std::snprintf(value, sizeof value, "$%lX", static_cast<unsigned long>(Handle32(host)));
        if (!SetVariable(value)) return 5;
    } else if (mode == "trailing") {
        if (!SetVariable(std::to_string(Handle32(host)) + "zz9")) return 5;
    } else if (mode == "missing") {
        if (!SetEnvironmentVariableA(kHostEditorVariable, nullptr)) return 5;
        if (HostEditorHandle() != nullptr) return 6;
    } else if (mode == "garbage") {
        if (!SetVariable("editor")) return 5;
        if (HostEditorHandle() != nullptr) return 6;
    } else if (mode == "stale") {
        HWND gone = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                    GetModuleHandleA(nullptr), nullptr);
        if (gone == nullptr) return 5;
        const std::uint32_t value = Handle32(gone);
        DestroyWindow(gone);
        if (!SetVariable(std::to_string(value))) return 5;
        if (OpenHostProcess(HostEditorHandle()) != nullptr) return 6;
    } else if (mode == "frame") {
        HWND frame = GetParent(host);
        if (frame == nullptr || IsScintillaWindow(frame)) return 5;
        if (!SetVariable(std::to_string(Handle32(frame)))) return 5;
    } else if (mode != "as-given" && mode != "stalled") {
        return 2;
    }
    const ULONGLONG start = GetTickCount64();
    const bool taken = InsertIntoHostEditor(block);
    if (GetTickCount64() - start > 15000) return 8;
    const bool expected = !block.empty() && (mode == "as-given" || mode == "hex" || mode == "trailing");
    return taken == expected ? 0 : 7;
}
