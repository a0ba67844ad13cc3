// The bytes of a file as the code walk reads them: read into memory, or mapped where the system
// keeps a mapped file whole, so that pages nothing reads are never touched.
#pragma once
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace zandrel::librarian {

class FileBytes {
public:
    FileBytes() = default;
    // Bytes made in memory (a test's image, a file read whole) are kept here.
    FileBytes(std::string bytes)  // NOLINT: a string is the common way to hand bytes over
        : owner_(std::make_shared<const std::string>(std::move(bytes))),
          view_(*static_cast<const std::string*>(owner_.get())) {}
    // Bytes that live as long as `owner` does.
    FileBytes(std::shared_ptr<const void> owner, std::string_view view) : owner_(std::move(owner)), view_(view) {}

    std::string_view View() const { return view_; }
    operator std::string_view() const { return view_; }
    const char* data() const { return view_.data(); }
    std::size_t size() const { return view_.size(); }
    bool empty() const { return view_.empty(); }
    void clear() { *this = FileBytes(); }
    // The first `n` bytes, sharing what holds them.
    FileBytes Prefix(std::size_t n) const { return FileBytes(owner_, view_.substr(0, n)); }

private:
    std::shared_ptr<const void> owner_;
    std::string_view view_;
};

// Maps the whole file at `path` for reading, where that is safe: on Windows, which keeps a
// mapped file from being cut short. Elsewhere (a file cut short under a mapping would kill the
// process with SIGBUS) and on any failure, false: the caller reads the file instead.
bool MapWholeFile(const std::string& path, FileBytes& bytes);

}  // namespace zandrel::librarian
