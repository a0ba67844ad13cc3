#include "preview/StyledEditor.h"

#include <commctrl.h>

#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "preview/Encoding.h"

namespace zandrel {

namespace {

// Ids of the live styled editors. The program is single-threaded; ids are its own numbering.
std::map<int, HWND>& Registry() {
    static std::map<int, HWND> registry;
    return registry;
}

LRESULT Send(HWND w, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    return SendMessageA(w, message, wParam, lParam);
}

bool IsScintillaWindow(HWND w) {
    char name[16] = {};
    return IsWindow(w) && GetClassNameA(w, name, sizeof name) > 0 &&
           std::strcmp(name, "Scintilla") == 0;
}

StyledEditor* RecordOf(HWND w) {
    return reinterpret_cast<StyledEditor*>(GetWindowLongPtrA(w, GWLP_USERDATA));
}

struct Target {
    HWND window = nullptr;
    StyledEditor* editor = nullptr;
    explicit operator bool() const { return editor != nullptr; }
};

// Every setter starts here: an id that names no live styled Scintilla control yields nothing.
Target Find(int id) {
    auto it = Registry().find(id);
    if (it == Registry().end() || !IsScintillaWindow(it->second)) return {};
    StyledEditor* e = RecordOf(it->second);
    if (e == nullptr || e->control != id) return {};
    return {it->second, e};
}

void UpdateMarginWidth(const Target& t) {
    if (!(t.editor->styler.options & OptionLineNumbers)) return;
    const LRESULT lines = Send(t.window, SCI_GETLINECOUNT);
    const std::string nines(std::to_string(lines).size(), '9');
    const LRESULT width =
        Send(t.window, SCI_TEXTWIDTH, STYLE_LINENUMBER, reinterpret_cast<LPARAM>(nines.c_str()));
    Send(t.window, SCI_SETMARGINWIDTHN, 0, width + t.editor->marginExtra + 10);
}

void Restyle(int id) { StyleLines(id, 0, -1, -1); }

// The parent gets the control's WM_NOTIFY; this hands it to EditorNotify and then passes it on.
LRESULT CALLBACK ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                            UINT_PTR /*subclass*/, DWORD_PTR editorWindow) {
    if (message == WM_NOTIFY && lParam != 0) {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        HWND editor = reinterpret_cast<HWND>(editorWindow);
        if (header->hwndFrom == editor) {
            if (StyledEditor* e = RecordOf(editor)) {
                try {
                    EditorNotify(e->control, reinterpret_cast<const SCNotification*>(lParam));
                } catch (...) {
                    // Nothing may escape into the window manager; styling is best effort.
                }
            }
        }
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

// Releases the record with the control.
LRESULT CALLBACK EditorProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                            UINT_PTR subclass, DWORD_PTR /*ref*/) {
    if (message == WM_NCDESTROY) {
        StyledEditor* e = RecordOf(window);
        SetWindowLongPtrA(window, GWLP_USERDATA, 0);
        if (HWND parent = GetParent(window)) {
            RemoveWindowSubclass(parent, ParentProc, reinterpret_cast<UINT_PTR>(window));
        }
        RemoveWindowSubclass(window, EditorProc, subclass);
        if (e != nullptr) {
            auto it = Registry().find(e->control);
            if (it != Registry().end() && it->second == window) Registry().erase(it);
            delete e;
        }
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

std::string ToAnsi(std::string_view utf8) { return Utf8ToAnsi(utf8); }

}  // namespace

HWND CreateStyledEditor(HWND parent, int id, int x, int y, int width, int height,
                        EditorCallback notify, int options) {
    static const bool registered = Scintilla_RegisterClasses(GetModuleHandleA(nullptr)) != 0;
    if (!registered || parent == nullptr) return nullptr;

    auto record = std::make_unique<StyledEditor>();
    record->control = id;
    record->notify = notify;
    record->styler.options = options;
    record->styler.behaviour = 5;
    record->styler.toAnsi = ToAnsi;

    HWND w = CreateWindowExA(0, "Scintilla", "", WS_CHILD | WS_VISIBLE | WS_TABSTOP, x, y, width,
                             height, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                             GetModuleHandleA(nullptr), nullptr);
    if (w == nullptr) return nullptr;
    SetWindowLongPtrA(w, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(record.get()));
    if (!SetWindowSubclass(w, EditorProc, 1, 0)) {
        SetWindowLongPtrA(w, GWLP_USERDATA, 0);
        DestroyWindow(w);
        return nullptr;
    }
    record.release();  // owned by the control from here on (freed at WM_NCDESTROY)
    Registry()[id] = w;
    if (!SetWindowSubclass(parent, ParentProc, reinterpret_cast<UINT_PTR>(w),
                           reinterpret_cast<DWORD_PTR>(w))) {
        DestroyWindow(w);
        return nullptr;
    }

    Send(w, SCI_SETCODEPAGE, SC_CP_UTF8);
    Send(w, SCI_SETILEXER, 0, 0);  // no lexer: Scintilla asks us through SCN_STYLENEEDED
    Send(w, SCI_SETMARGINWIDTHN, 1, 0);
    Send(w, SCI_STYLECLEARALL);
    UpdateMarginWidth(Find(id));
    return w;
}

HWND StyledEditorWindow(int id) { return Find(id).window; }

void SetEditorOption(int id, int option, int value) {
    Target t = Find(id);
    if (!t) return;
    if (option == EditorReadOnly) {
        Send(t.window, SCI_SETREADONLY, static_cast<WPARAM>(value));
    } else if (option == EditorMarginExtra) {
        t.editor->marginExtra = value;
        UpdateMarginWidth(t);
    }
}

void SetEditorColor(int id, int what, int colour) {
    Target t = Find(id);
    if (!t) return;
    if (what == EditorBackground) {
        if (colour != -1) Send(t.window, SCI_STYLESETBACK, STYLE_DEFAULT, colour);
        Send(t.window, SCI_STYLECLEARALL);
    } else if (what == EditorCaretLine) {
        if (colour == -1) {
            Send(t.window, SCI_SETCARETLINEVISIBLE, 0);
        } else {
            Send(t.window, SCI_SETCARETLINEBACK, static_cast<WPARAM>(colour));
            Send(t.window, SCI_SETCARETLINEVISIBLE, 1);
        }
    }
}

void SetStyleFont(int id, int style, const std::string& name, int size, int flags) {
    Target t = Find(id);
    if (!t) return;
    const auto s = static_cast<WPARAM>(style);
    if (!name.empty()) Send(t.window, SCI_STYLESETFONT, s, reinterpret_cast<LPARAM>(name.c_str()));
    if (size != -1) Send(t.window, SCI_STYLESETSIZE, s, size);
    if (flags != -1) {
        Send(t.window, SCI_STYLESETBOLD, s, (flags & FontBold) ? 1 : 0);
        Send(t.window, SCI_STYLESETITALIC, s, (flags & FontItalic) ? 1 : 0);
        Send(t.window, SCI_STYLESETUNDERLINE, s, (flags & FontUnderline) ? 1 : 0);
    }
    if (style == STYLE_LINENUMBER) UpdateMarginWidth(t);
}

void SetEditorFont(int id, const std::string& name, int size, int flags) {
    if (!Find(id)) return;
    SetStyleFont(id, STYLE_DEFAULT, name, size, flags);
    Target t = Find(id);
    Send(t.window, SCI_STYLECLEARALL);
    UpdateMarginWidth(t);
}

void SetStyleColors(int id, int style, int fore, int back) {
    Target t = Find(id);
    if (!t) return;
    if (fore != -1) Send(t.window, SCI_STYLESETFORE, static_cast<WPARAM>(style), fore);
    if (back != -1) Send(t.window, SCI_STYLESETBACK, static_cast<WPARAM>(style), back);
}

void SetEditorTabs(int id, int width, int useSpaces) {
    Target t = Find(id);
    if (!t) return;
    Send(t.window, SCI_SETTABWIDTH, static_cast<WPARAM>(width));
    Send(t.window, SCI_SETUSETABS, static_cast<WPARAM>(1 - useSpaces));
}

int AddWords(int id, std::string_view words, int style, int flags) {
    Target t = Find(id);
    if (!t) return 0;
    return t.editor->styler.AddWords(words, style, flags);
}

void AddDelimiter(int id, std::string_view start, std::string_view end, int flags, int style,
                  int restyle) {
    Target t = Find(id);
    if (!t) return;
    t.editor->styler.AddDelimiter(start, end, flags, style);
    if (restyle) Restyle(id);
}

void AddKeywords(int id, std::string_view words, int style, int flags, int sort, int restyle) {
    Target t = Find(id);
    if (!t) return;
    if (t.editor->styler.AddWords(words, style, flags) > 0 && sort) t.editor->styler.SortWords();
    if (restyle) Restyle(id);
}

void SetSeparators(int id, std::string_view chars) {
    Target t = Find(id);
    if (!t || t.editor->styler.separators == chars) return;
    t.editor->styler.separators = std::string(chars);
    Restyle(id);
}

void SetNumberStyle(int id, int style) {
    Target t = Find(id);
    if (!t || t.editor->styler.numberStyle == style) return;
    t.editor->styler.numberStyle = style;
    Restyle(id);
}

void SetEditorText(int id, const std::string& text, int clearUndo) {
    Target t = Find(id);
    if (!t) return;
    const std::string utf8 = AnsiToUtf8(text);
    Send(t.window, SCI_SETTEXT, 0, reinterpret_cast<LPARAM>(utf8.c_str()));
    if (clearUndo) Send(t.window, SCI_EMPTYUNDOBUFFER);
    Restyle(id);
}

void StyleLines(int id, Sci_Position firstLine, Sci_Position lastLine, Sci_Position endPosition) {
    Target t = Find(id);
    if (!t) return;
    const auto lineCount = static_cast<Sci_Position>(Send(t.window, SCI_GETLINECOUNT));
    if (lastLine == -1 || lastLine >= lineCount) lastLine = lineCount - 1;
    if (firstLine < 0) firstLine = 0;
    else if (firstLine > 0) --firstLine;  // the line before may carry into the range

    const auto start = static_cast<Sci_Position>(
        Send(t.window, SCI_POSITIONFROMLINE, static_cast<WPARAM>(firstLine)));
    const bool limited = endPosition != -1;
    Sci_Position remaining = endPosition - start;
    Send(t.window, SCI_STARTSTYLING, static_cast<WPARAM>(start), 0x1F);

    std::string buffer;
    std::vector<StyleRun> runs;
    for (Sci_Position line = firstLine; line <= lastLine; ++line) {
        const auto full =
            static_cast<Sci_Position>(Send(t.window, SCI_LINELENGTH, static_cast<WPARAM>(line)));
        Sci_Position length = full;
        if (limited) {
            if (length > remaining) length = remaining;
            remaining -= length;
        }
        if (length <= 0) continue;
        buffer.assign(static_cast<std::size_t>(full) + 1, '\0');
        Send(t.window, SCI_GETLINE, static_cast<WPARAM>(line),
             reinterpret_cast<LPARAM>(buffer.data()));
        runs.clear();
        t.editor->styler.StyleLine(std::string_view(buffer.data(), static_cast<std::size_t>(length)),
                                   runs);
        for (const StyleRun& r : runs) {
            Send(t.window, SCI_SETSTYLING, r.length, r.style);
        }
    }
}

void EditorNotify(int id, const SCNotification* n) {
    Target t = Find(id);
    if (!t || n == nullptr) return;
    if (n->nmhdr.code == SCN_STYLENEEDED) {
        auto endStyled = static_cast<WPARAM>(Send(t.window, SCI_GETENDSTYLED));
        auto first = static_cast<Sci_Position>(Send(t.window, SCI_LINEFROMPOSITION, endStyled));
        auto last = static_cast<Sci_Position>(
            Send(t.window, SCI_LINEFROMPOSITION, static_cast<WPARAM>(n->position)));
        if (last < first) {
            const Sci_Position oldFirst = first;
            first = last;
            last = oldFirst + 1;
        }
        StyleLines(id, first, last, n->position);
    } else if (n->nmhdr.code == SCN_MODIFIED && n->linesAdded != 0) {
        UpdateMarginWidth(t);
    }
    if (t.editor->notify != nullptr) t.editor->notify(id, n);
}

}  // namespace zandrel
