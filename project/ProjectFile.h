// Reading and writing project files on disk. Writing goes through a temporary file in the same
// folder that then replaces the project, so a failed write never leaves half a project behind.
#pragma once
#include <string>
#include <string_view>

namespace zandrel {

bool ReadProjectFile(const std::string& path, std::string& text);
bool WriteProjectFile(const std::string& path, const std::string& text);

// The system's ANSI code page for the project reader: the same one Save Import converts from, so
// a project's names and comments come out of the import block as they went into the file.
std::string Utf16ToAnsi(std::u16string_view wide);

}  // namespace zandrel
