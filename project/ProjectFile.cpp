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
