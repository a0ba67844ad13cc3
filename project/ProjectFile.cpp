#include "project/ProjectFile.h"

#include <windows.h>

#include "base/Path.h"

namespace zandrel {

namespace {

struct Handle {
    HANDLE h;
    explicit Handle(HANDLE handle) : h(handle) {}
    ~Handle() {
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    void Close() {
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
        h = INVALID_HANDLE_VALUE;
    }
};

}  // namespace

bool ReadProjectFile(const std::string& path, std::string& text) {
    Handle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.h == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size{};
    // Project files are small; anything near the 32-bit limit is not one.
    if (!GetFileSizeEx(file.h, &size) || size.QuadPart > 0x40000000) return false;
    text.assign(static_cast<std::size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!text.empty() && (!ReadFile(file.h, text.data(), static_cast<DWORD>(text.size()), &read, nullptr) ||
                          read != text.size()))
        return false;
    return true;
}

std::string Utf16ToAnsi(std::u16string_view wide) {
    if (wide.empty() || wide.size() > 0x10000000) return {};
    const auto* in = reinterpret_cast<const wchar_t*>(wide.data());
    const int inLen = static_cast<int>(wide.size());
    // No best fit: a fullwidth bar must not become "|" and split an item; "?" says what is lost.
    // UTF-8 as the system's code page takes neither the flag nor a default character.
    const UINT acp = GetACP();
    const DWORD flags = acp == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const char* fallback = acp == CP_UTF8 ? nullptr : "?";
    int n = WideCharToMultiByte(CP_ACP, flags, in, inLen, nullptr, 0, fallback, nullptr);
    if (n <= 0) return std::string(wide.size(), '?');
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, flags, in, inLen, out.data(), n, fallback, nullptr);
    return out;
}

bool WriteProjectFile(const std::string& path, const std::string& text) {
    std::string folder = FolderPart(path);
    char temp[MAX_PATH] = {};
    if (!GetTempFileNameA(folder.empty() ? "." : folder.c_str(), "zdx", 0, temp)) return false;
    Handle file(CreateFileA(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    bool ok = file.h != INVALID_HANDLE_VALUE;
    DWORD written = 0;
    ok = ok && (text.empty() || (WriteFile(file.h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
                                 written == text.size()));
    ok = ok && FlushFileBuffers(file.h);
    file.Close();
    ok = ok && MoveFileExA(temp, path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!ok) DeleteFileA(temp);
    return ok;
}

}  // namespace zandrel
