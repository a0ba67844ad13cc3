// Reading and writing project files on disk. Writing goes through a temporary file in the same
// folder that then replaces the project, so a failed write never leaves half a project behind.
#pragma once
#include <string>

namespace zandrel {

bool ReadProjectFile(const std::string& path, std::string& text);
bool WriteProjectFile(const std::string& path, const std::string& text);

}  // namespace zandrel
