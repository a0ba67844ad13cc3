#include "base/Path.h"

namespace zandrel {

namespace {
std::size_t FileStart(std::string_view path) {
    std::size_t p = path.find_last_of("\\/");
    return p == std::string_view::npos ? 0 : p + 1;
}
}  // namespace

std::string FolderPart(std::string_view path) {
    return std::string(path.substr(0, FileStart(path)));
}

std::string FilePart(std::string_view path) {
    return std::string(path.substr(FileStart(path)));
}

std::string ExtensionPart(std::string_view path) {
    std::string_view file = path.substr(FileStart(path));
    std::size_t dot = file.rfind('.');
    return dot == std::string_view::npos ? std::string() : std::string(file.substr(dot + 1));
}

std::string WithNewExtension(std::string_view name, std::string_view extension) {
    std::size_t dot = name.rfind('.');
    std::string out(dot == std::string_view::npos ? name : name.substr(0, dot + 1));
    out += extension;
    return out;
}

std::string WithTrailingSeparator(std::string_view folder) {
    std::string out(folder);
    if (!out.empty() && out.back() != '\\' && out.back() != '/') out += '\\';
    return out;
}

}  // namespace zandrel
