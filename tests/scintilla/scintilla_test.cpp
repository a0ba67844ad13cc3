// The Scintilla static library links, registers its window class and answers messages.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "Scintilla.h"

extern "C" int Scintilla_RegisterClasses(void* hInstance);

TEST(Scintilla, WindowHoldsTextSetThroughMessages) {
    ASSERT_TRUE(Scintilla_RegisterClasses(GetModuleHandleA(nullptr)));
    HWND w = CreateWindowExA(0, "Scintilla", "", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr,
                             nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(w, nullptr);
    const char text[] = "Import \"user32.lib\"\r\n  MessageBoxA(a.i, b.i, c.i, d.i)\r\nEndImport\r\n";
    SendMessageA(w, SCI_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
    LRESULT len = SendMessageA(w, SCI_GETLENGTH, 0, 0);
    ASSERT_EQ(len, static_cast<LRESULT>(sizeof text - 1));
    std::string back(static_cast<size_t>(len) + 1, '\0');
    SendMessageA(w, SCI_GETTEXT, back.size(), reinterpret_cast<LPARAM>(back.data()));
    back.resize(static_cast<size_t>(len));
    EXPECT_EQ(back, text);
    EXPECT_EQ(SendMessageA(w, SCI_GETLINECOUNT, 0, 0), 4);
    DestroyWindow(w);
}
