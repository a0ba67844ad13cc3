#include <cerrno>
#include <cstdio>
#include <cstring>

#include "librarian/ReplaceFile.h"

namespace zandrel::librarian {

bool ReplaceFileWith(const std::string& from, const std::string& to, std::string& reason) {
    // rename() replaces an existing file atomically.
    if (std::rename(from.c_str(), to.c_str()) == 0) return true;
    reason = std::strerror(errno);
    return false;
}

}  // namespace zandrel::librarian
