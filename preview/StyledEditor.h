// A Scintilla control that the program colours itself (container lexing): the control's
// StyledEditor record holds the registered words and delimiters, and the portable Styler
// tokenizes each line Scintilla asks to have styled. Controls are named by their id, as the
// rest of the program names its controls.
#pragma once
#include <windows.h>

#include <string>
#include <string_view>

#include "Scintilla.h"
#include "preview/Tokenizer.h"

namespace zandrel {

// Called at the end of every notification of the control, with its id.
using EditorCallback = void (*)(int id, const SCNotification* notification);

// One per styled control, attached as the control's user data (GWLP_USERDATA); it lives as long
// as the control.
struct StyledEditor {
    int control = 0;
    EditorCallback notify = nullptr;
    int marginExtra = 0;  // pixels added to the line-number margin
    Styler styler;        // options, behaviour, separators, number style, words, carried style
};

// SetEditorOption.
enum EditorOption : int { EditorReadOnly = 1, EditorMarginExtra = 2 };
// SetEditorColor.
enum EditorColorTarget : int { EditorBackground = 1, EditorCaretLine = 7 };
// SetStyleFont / SetEditorFont flags (-1 leaves all three as they are).
enum FontFlag : int { FontUnderline = 4, FontBold = 0x100, FontItalic = 0x200 };

// Creates the control as a child of `parent` with the given id. Its notifications reach
// EditorNotify by themselves (the parent is subclassed for them). `options`: OptionLineNumbers,
// OptionCaseSensitive. Returns the control, or null on failure.
HWND CreateStyledEditor(HWND parent, int id, int x, int y, int width, int height,
                        EditorCallback notify, int options);
// The control with this id, or null when there is no live styled editor of that id.
HWND StyledEditorWindow(int id);

void SetEditorOption(int id, int option, int value);
// Colours are COLORREF values (0x00BBGGRR); for the caret line, -1 turns the highlight off.
void SetEditorColor(int id, int what, int colour);
void SetEditorFont(int id, const std::string& name, int size, int flags);
void SetStyleFont(int id, int style, const std::string& name, int size, int flags);
void SetStyleColors(int id, int style, int fore, int back);
void SetEditorTabs(int id, int width, int useSpaces);
int AddWords(int id, std::string_view words, int style, int flags);
void AddDelimiter(int id, std::string_view start, std::string_view end, int flags, int style,
                  int restyle);
void AddKeywords(int id, std::string_view words, int style, int flags, int sort, int restyle);
void SetSeparators(int id, std::string_view chars);
void SetNumberStyle(int id, int style);
// `text` is single-byte text; the control holds it as UTF-8.
void SetEditorText(int id, const std::string& text, int clearUndo);
// Styles lines first..last (last -1: to the end), not beyond `endPosition` (-1: no limit).
void StyleLines(int id, Sci_Position firstLine, Sci_Position lastLine, Sci_Position endPosition);
// The control's notification handler (SCN_STYLENEEDED, SCN_MODIFIED); called for it already.
void EditorNotify(int id, const SCNotification* notification);

}  // namespace zandrel
