// Handing the import block to the outside world: a source file or the clipboard.
#pragma once
#include <windows.h>

#include <functional>
#include <string>

namespace zandrel {

class Requesters;

// The folders and names the save command reads and sets.
struct SavePaths {
    std::string LibName;
    std::string LastPath;
    std::string SavePath;
};

// Asks for a file ("Zandrel - Save Import") and writes the block generated at that moment into
// it, appending when the file exists. Cancelled: nothing changes. Otherwise SavePath becomes the
// chosen folder, also when the table is empty (then no file is touched).
void SaveImport(HWND owner, Requesters& requesters, SavePaths& paths,
                const std::function<std::string()>& generate);

// Writes single-byte `text` to `path` as UTF-8 with a byte-order mark. A file that exists and
// holds data is appended to without a second mark. False when it cannot be opened or written.
bool WriteImportFile(const std::string& path, const std::string& text);

// Puts `text` on the clipboard as CF_TEXT; false when the clipboard could not be had.
bool CopyImport(const std::string& text);

}  // namespace zandrel
