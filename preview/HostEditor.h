// Inserting text at the caret of the host IDE's editor: a Scintilla control in another process
// whose window handle the IDE puts into our environment when it starts us as an external tool.
#pragma once
#include <windows.h>

#include <string>

namespace zandrel {

inline constexpr const char* kHostEditorVariable = "PB_TOOL_Scintilla";

// The handle in "PB_TOOL_Scintilla", read through the general number parser ("$" hex, "%"
// binary, decimal otherwise); null when the variable is missing or holds no number. Read anew
// at every call: the environment is the only source of truth.
HWND HostEditorHandle();

// The process that owns `window`, opened with only the rights the transfer needs (allocating,
// writing and freeing memory there); null when the window does not exist or the process cannot
// be opened. The caller closes the handle.
HANDLE OpenHostProcess(HWND window);

// How long the host editor may take to answer before Zandrel goes on without it.
inline constexpr unsigned kHostAnswerMs = 5000;

// True for a window of Scintilla's class, the only kind the insertion writes into.
bool IsScintillaWindow(HWND window);

// Copies `text` (single-byte text) into the host editor at its caret, as UTF-8 when the editor
// is in UTF-8 mode and unchanged otherwise; true when the editor took it. Does nothing, silently,
// when there is no host, the handle names no Scintilla editor, the host cannot be reached or the
// text is empty. A host that does not answer within kHostAnswerMs is given up on (false): the
// block stays allocated in it, since it may still read it.
bool InsertIntoHostEditor(const std::string& text);

}  // namespace zandrel
