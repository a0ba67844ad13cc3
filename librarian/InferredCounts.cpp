#include "librarian/InferredCounts.h"

#include <filesystem>
#include <memory>
#include <unordered_map>

#include "base/Path.h"
#include "librarian/Librarian.h"

namespace zandrel::librarian {

namespace {

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// The COFF machine field, 0 when the file is no PE image.
std::uint16_t ImageMachine(std::string_view image) {
    auto byte = [&image](std::size_t at) { return static_cast<std::uint32_t>(static_cast<unsigned char>(image[at])); };
    if (image.size() < 64 || image[0] != 'M' || image[1] != 'Z') return 0;
    const std::uint32_t pe = byte(60) | byte(61) << 8 | byte(62) << 16 | byte(63) << 24;
    if (pe > image.size() || image.size() - pe < 6 || image.substr(pe, 4) != std::string_view("PE\0\0", 4)) return 0;
    return static_cast<std::uint16_t>(byte(pe + 4) | byte(pe + 5) << 8);
}

// The path of `file` in `folder`, its case ignored where the file system minds it.
std::string FindInFolder(const std::string& folder, const std::string& file) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path exact = fs::path(folder) / file;
    if (fs::is_regular_file(exact, ec)) return exact.string();
    const std::string wanted = Lower(file);
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        if (Lower(it->path().filename().string()) == wanted && it->is_regular_file(ec)) return it->path().string();
    return {};
}

// Reads the image at `path` into `image`, when there is a path and the image is one for
// `machine`.
bool ReadImageFor(const std::string& path, Machine machine, FileBytes& image) {
    std::string reason;
    return !path.empty() && ReadDllCode(path, image, reason) &&
           ImageMachine(image) == static_cast<std::uint16_t>(machine);
}

}  // namespace

ImageLoader FolderImageLoader(std::vector<std::string> folders, Machine machine) {
    // Where each name was found (empty: nowhere). The images themselves are read again each
    // time: one walk asks for a DLL once, and a kept one would hold its memory as long as the
    // loader lives.
    auto found = std::make_shared<std::unordered_map<std::string, std::string>>();
    return [folders = std::move(folders), machine, found](const std::string& dll_name, FileBytes& image) {
        std::string file = FilePart(dll_name);
        if (file.empty()) return false;
        if (ExtensionPart(file).empty()) file += ".dll";
        auto [known, first_time] = found->try_emplace(Lower(file));
        if (!first_time) {
            if (ReadImageFor(known->second, machine, image)) return true;
        } else {
            for (const std::string& folder : folders) {
                if (folder.empty()) continue;
                std::string path = FindInFolder(folder, file);
                if (ReadImageFor(path, machine, image)) {
                    known->second = std::move(path);
                    return true;
                }
            }
        }
        image.clear();
        return false;
    };
}

std::string FolderOfDll(const std::string& dll_path) {
    std::string folder = FolderPart(dll_path);
    return folder.empty() ? std::string(".") : folder;
}

InferredCounts CountsBySymbol(const PeExports& exports, Machine machine, const std::vector<Signature>& signatures) {
    InferredCounts counts;
    if (signatures.size() != exports.Named.size()) return counts;
    for (std::size_t i = 0; i < exports.Named.size(); ++i) {
        const PeExport& e = exports.Named[i];
        const Signature& sig = signatures[i];
        // A fastcall name carries its own byte count, and its first two arguments come in
        // registers: the stack slots its code reads are not its parameters.
        if (e.Name.empty() || e.Data || e.Name[0] == '@') continue;
        // A lower bound of 0 says nothing the library's 0 does not.
        if (sig.Sure != Certainty::Exact && !(sig.Sure == Certainty::LowerBound && sig.Count > 0)) continue;
        const InferredCount count{sig.Count, sig.Sure};
        counts.emplace(ImportFor(e, machine, sig).Symbol, count);
        counts.emplace(ImportFor(e, machine).Symbol, count);
    }
    return counts;
}

bool InferDllCounts(const std::string& dll_path, const ImageLoader& loader, InferredCounts& counts,
                    std::string& error, const InferLimits& limits) {
    counts.clear();
    FileBytes image;
    std::string reason;
    PeExports exports;
    if (!ReadDllCode(dll_path, image, reason) || !ReadPeExports(image, exports, reason)) {
        error = dll_path + ": " + reason;
        return false;
    }
    Machine machine;
    if (exports.Machine == static_cast<std::uint16_t>(Machine::X86)) {
        machine = Machine::X86;
    } else if (exports.Machine == static_cast<std::uint16_t>(Machine::X64)) {
        machine = Machine::X64;
    } else {
        error = dll_path + ": the image is for neither X86 nor X64";
        return false;
    }
    counts = CountsBySymbol(exports, machine, InferSignatures(image, exports, loader, limits));
    return true;
}

const InferredCount* InferredCountFor(const InferredCounts& counts, const std::string& symbol,
                                      std::int32_t library_count) {
    if (library_count != 0) return nullptr;
    auto it = counts.find(symbol);
    return it == counts.end() ? nullptr : &it->second;
}

}  // namespace zandrel::librarian
