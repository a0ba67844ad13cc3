#include "preview/Preview.h"

#include "preview/PreviewStyle.h"
#include "preview/StyledEditor.h"

namespace zandrel {

namespace {

// Colours are written #RRGGBB here; Scintilla takes 0x00BBGGRR.
constexpr int Rgb(unsigned rrggbb) {
    return static_cast<int>(((rrggbb & 0xFF) << 16) | (rrggbb & 0xFF00) | ((rrggbb >> 16) & 0xFF));
}

}  // namespace

HWND CreatePreview(HWND parent) {
    const int id = kPreviewId;
    HWND preview = CreateStyledEditor(parent, id, 5, 5, 0, 0, nullptr, OptionLineNumbers);
    if (preview == nullptr) return nullptr;

    SetEditorOption(id, EditorMarginExtra, 10);
    SetEditorColor(id, EditorCaretLine, Rgb(0xDBFEFC));
    SetEditorColor(id, EditorBackground, Rgb(0xFFFFDF));
    SetEditorFont(id, "Courier New", 10, -1);
    SetEditorTabs(id, 2, 0);

    SetStyleFont(id, StyleKeyword, "", -1, FontBold);
    SetStyleColors(id, StyleKeyword, Rgb(0x000080), -1);
    SetStyleFont(id, StyleComment, "", -1, FontItalic);
    SetStyleColors(id, StyleComment, Rgb(0x006400), -1);
    SetStyleColors(id, StyleString, Rgb(0x737373), -1);
    SetStyleColors(id, StyleNumber, Rgb(0xFF0000), -1);
    SetStyleColors(id, StyleDirective, Rgb(0xAE343A), -1);
    SetStyleFont(id, StyleDirective, "", -1, FontBold);
    SetStyleColors(id, StyleCall, Rgb(0x0000FF), -1);

    for (const PreviewDelimiter& d : kPreviewDelimiters) {
        AddDelimiter(id, d.start, d.end, d.flags, d.style, 1);
    }
    AddKeywords(id, kPreviewKeywords, StyleKeyword, 0, 0, 1);
    SetSeparators(id, kPreviewSeparators);
    SetNumberStyle(id, StyleNumber);

    // Not editable even before the first refresh.
    SetEditorOption(id, EditorReadOnly, 1);
    ShowWindow(preview, SW_HIDE);
    return preview;
}

void RefreshPreview(const std::string& importSource) {
    SetEditorOption(kPreviewId, EditorReadOnly, 0);
    SetEditorText(kPreviewId, importSource, 0);
    SetEditorOption(kPreviewId, EditorReadOnly, 1);
}

}  // namespace zandrel
