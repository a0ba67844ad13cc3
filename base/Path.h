// Path splitting as the program stores paths: folders keep their trailing separator. Both
// "\\" and "/" separate folders, so the same code serves Windows paths and the Linux build of
// the command-line tool.
#pragma once
#include <string>
#include <string_view>

namespace zandrel {

// "C:\\libs\\user32.lib" -> "C:\\libs\\"; "" when there is no folder.
std::string FolderPart(std::string_view path);
// "C:\\libs\\user32.lib" -> "user32.lib".
std::string FilePart(std::string_view path);
// Text after the last "." of the file part, without the dot; "" when there is none.
std::string ExtensionPart(std::string_view path);
// The name with the text after its last "." replaced by `extension`, the dot kept:
// ("user32.lib", "zdx") -> "user32.zdx"; a name without "." gets `extension` appended directly.
std::string WithNewExtension(std::string_view name, std::string_view extension);
// Ensures a non-empty folder ends with a separator ("\\" unless it already uses "/").
std::string WithTrailingSeparator(std::string_view folder);

}  // namespace zandrel
