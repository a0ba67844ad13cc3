// The questions the program asks the user: file, folder and message requesters. Commands get
// them through this interface so tests can answer in place of a person.
#pragma once
#include <windows.h>

#include <memory>
#include <string>

namespace zandrel {

class Requesters {
public:
    virtual ~Requesters() = default;
    // `initial` is a folder (ending in a separator) or a folder followed by a proposed file name;
    // `pattern` is description and mask pairs separated by "|". Empty result: cancelled.
    virtual std::string OpenFile(HWND owner, const std::string& title, const std::string& initial,
                                 const std::string& pattern) = 0;
    virtual std::string SaveFile(HWND owner, const std::string& title, const std::string& initial,
                                 const std::string& pattern) = 0;
    // The chosen folder with a trailing backslash; empty when cancelled.
    virtual std::string Folder(HWND owner, const std::string& text, const std::string& initial) = 0;
    virtual void Error(HWND owner, const std::string& title, const std::string& text) = 0;
};

// The system's own dialogs.
std::unique_ptr<Requesters> SystemRequesters();

// "a|b|c|d" -> "a\0b\0c\0d\0\0", the filter form the file dialogs take.
std::string DialogFilter(const std::string& pattern);

}  // namespace zandrel
