// Putting a finished file in the place of another in one step.
#pragma once
#include <string>

namespace zandrel::librarian {

// Moves `from` to `to`, replacing any file there in one step: on failure `to` is as it was and
// `reason` says why.
bool ReplaceFileWith(const std::string& from, const std::string& to, std::string& reason);

}  // namespace zandrel::librarian
