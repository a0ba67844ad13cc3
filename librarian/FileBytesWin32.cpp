#include <windows.h>

#include "librarian/FileBytes.h"

namespace zandrel::librarian {

namespace {

struct View {
    const void* at = nullptr;
    ~View() {
        if (at) UnmapViewOfFile(at);
    }
};

}  // namespace

bool MapWholeFile(const std::string& path, FileBytes& bytes) {
    // Shared for reading only: Windows refuses to shorten a file while a view of it is mapped,
    // so every page of the view stays readable as long as it is held.
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size{};
    // An empty file cannot be mapped; one beyond what a view can span is read (and refused) instead.
    if (!GetFileSizeEx(file, &size) || size.QuadPart <= 0 ||
        static_cast<unsigned long long>(size.QuadPart) > static_cast<SIZE_T>(-1) / 2) {
        CloseHandle(file);
        return false;
    }
    const HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    CloseHandle(file);
    if (!mapping) return false;
    auto view = std::make_shared<View>();
    view->at = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    CloseHandle(mapping);  // the view keeps the mapping
    if (!view->at) return false;
    bytes = FileBytes(view, std::string_view(static_cast<const char*>(view->at), static_cast<std::size_t>(size.QuadPart)));
    return true;
}

}  // namespace zandrel::librarian
