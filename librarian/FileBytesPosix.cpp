#include "librarian/FileBytes.h"

namespace zandrel::librarian {

// Another process may cut a file short while it is mapped here, and reading the lost pages
// raises SIGBUS; reading the file costs a copy but cannot fail that way.
bool MapWholeFile(const std::string&, FileBytes&) { return false; }

}  // namespace zandrel::librarian
