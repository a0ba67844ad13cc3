#include <windows.h>
#include <cstdio>

#include "librarian/ReplaceFile.h"

namespace zandrel::librarian {

bool ReplaceFileWith(const std::string& from, const std::string& to, std::string& reason) {
    // rename() will not move onto an existing file, and deleting the old one first loses it
    // whenever the move then fails (a file still open elsewhere keeps its name until closed).
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
    const DWORD code = GetLastError();
    char text[256] = {};
    if (!FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                        sizeof text, nullptr))
        std::snprintf(text, sizeof text, "system error %lu", static_cast<unsigned long>(code));
    reason = text;
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == ' '))
        reason.pop_back();
    return false;
}

}  // namespace zandrel::librarian
