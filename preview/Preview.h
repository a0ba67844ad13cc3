// The read-only, syntax-coloured preview of the import source.
//
//   HWND preview = CreatePreview(mainWindow);   // control 6, hidden, coloured and configured
//   ... MoveWindow(preview, ...); ShowWindow(preview, SW_SHOW);
//   RefreshPreview(GenerateImportSource(table, options));
#pragma once
#include <windows.h>

#include <string>

namespace zandrel {

constexpr int kPreviewId = 6;

// Creates the preview as child control 6 of `parent` at (5, 5) with no size, applies its
// colouring set-up and hides it. Returns the control, or null on failure.
HWND CreatePreview(HWND parent);

// Replaces the preview's text with `importSource` (single-byte text); the preview stays
// read-only and the undo history is kept.
void RefreshPreview(const std::string& importSource);

}  // namespace zandrel
