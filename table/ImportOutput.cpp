#include "table/ImportOutput.h"

#include "app/Requesters.h"
#include "base/Path.h"
#include "preview/Encoding.h"

namespace zandrel {

namespace {

class FileHandle {
public:
    explicit FileHandle(HANDLE h) : h_(h) {}
    ~FileHandle() {
        if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    HANDLE get() const { return h_; }
    bool ok() const { return h_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE h_;
};

bool WriteAll(HANDLE h, const std::string& bytes) {
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        DWORD chunk = left > 0x10000000 ? 0x10000000 : static_cast<DWORD>(left);
        DWORD written = 0;
        if (!WriteFile(h, p, chunk, &written, nullptr) || written == 0) return false;
        p += written;
        left -= written;
    }
    return true;
}

}  // namespace

bool WriteImportFile(const std::string& path, const std::string& text) {
    WIN32_FILE_ATTRIBUTE_DATA info{};
    bool exists = GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &info) &&
                  !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    LARGE_INTEGER old_size{};
    HANDLE h = INVALID_HANDLE_VALUE;
    if (exists) {
        h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
    } else {
        h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    FileHandle file(h);
    if (!file.ok()) return false;
    if (!GetFileSizeEx(file.get(), &old_size)) return false;
    LARGE_INTEGER zero{};
    if (!SetFilePointerEx(file.get(), zero, nullptr, FILE_END)) return false;
    // The mark says UTF-8, so the bytes must be UTF-8; an appended block goes on without a
    // second mark in the middle of the file.
    std::string bytes = old_size.QuadPart > 0 ? std::string() : std::string("\xEF\xBB\xBF");
    bytes += AnsiToUtf8(text);
    return WriteAll(file.get(), bytes);
}

void SaveImport(HWND owner, Requesters& requesters, SavePaths& paths,
                const std::function<std::string()>& generate) {
    std::string folder = paths.SavePath.empty() ? paths.LastPath : paths.SavePath;
    std::string chosen = requesters.SaveFile(owner, "Zandrel - Save Import",
                                             folder + WithNewExtension(paths.LibName, "pbi"),
                                             "PB-Source (*.pb; *.pbi)|*.pb;*.pbi|All Files (*.*)|*.*");
    if (chosen.empty()) return;
    paths.SavePath = FolderPart(chosen);
    std::string text = generate();
    if (text.empty()) return;
    WriteImportFile(chosen, text);
}

bool CopyImport(const std::string& text) {
    if (!OpenClipboard(nullptr)) return false;
    bool done = false;
    if (HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_SHARE, text.size() + 1)) {
        if (char* p = static_cast<char*>(GlobalLock(block))) {
            text.copy(p, text.size());
            p[text.size()] = '\0';
            GlobalUnlock(block);
            EmptyClipboard();
            done = SetClipboardData(CF_TEXT, block) != nullptr;
        }
        if (!done) GlobalFree(block);  // the clipboard owns it only once it was taken
    }
    CloseClipboard();
    return done;
}

}  // namespace zandrel
