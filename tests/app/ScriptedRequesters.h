// Requesters that answer from a script instead of showing dialogs, and remember what they were
// asked.
#pragma once
#include <deque>
#include <string>
#include <vector>

#include "app/Requesters.h"

namespace ztest {

struct Asked {
    std::string kind, title, initial, pattern;
};

class ScriptedRequesters : public zandrel::Requesters {
public:
    std::deque<std::string> answers;  // next answers, in order; "" cancels
    std::vector<Asked> asked;

    std::string OpenFile(HWND, const std::string& title, const std::string& initial,
                         const std::string& pattern) override {
        return Answer({"open", title, initial, pattern});
    }
    std::string SaveFile(HWND, const std::string& title, const std::string& initial,
                         const std::string& pattern) override {
        return Answer({"save", title, initial, pattern});
    }
    std::string Folder(HWND, const std::string& text, const std::string& initial) override {
        return Answer({"folder", text, initial, ""});
    }
    void Error(HWND, const std::string& title, const std::string& text) override {
        asked.push_back({"error", title, text, ""});
    }

private:
    std::string Answer(Asked a) {
        asked.push_back(std::move(a));
        if (answers.empty()) return {};
        std::string next = answers.front();
        answers.pop_front();
        return next;
    }
};

}  // namespace ztest
