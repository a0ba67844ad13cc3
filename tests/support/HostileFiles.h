// Broken and hostile input files, with what the program must make of each: shared by the
// reader, command-line and window tests so every front end is held to the same answers.
#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "support/ArchiveBuilder.h"
#include "support/PeBuilder.h"
#include "support/TempDir.h"

namespace ztest {

struct HostileFile {
    std::string Label;   // what is wrong with it
    std::string Path;
    int Rows = 0;        // functions the table shows after opening it
    int CliStatus = 0;   // zandrel-cli's exit status for "symbols"
    std::string Reason;  // part of the message on stderr; empty when nothing is said
};

constexpr std::uint64_t kTwoGiB = 2ull << 30;

// Writes `head` and stretches the file to `size` bytes with a hole: big on paper, nothing on disk.
inline std::string WriteSparse(const TempDir& dir, const std::string& name, const std::string& head,
                               std::uint64_t size) {
    std::string path = dir.Write(name, head);
    std::filesystem::resize_file(path, size);
    return path;
}

// Libraries, each a few hundred bytes on disk. With `flood`, also the sparse archive whose
// zeros read as more empty names than any table may hold (seconds to show in a window).
inline std::vector<HostileFile> WriteHostileLibraries(const TempDir& dir, bool flood = true) {
    const std::vector<std::string> names = {"_Alpha@4", "_Beta@8", "_Gamma@12"};
    const std::string sig = "!<arch>\n";
    const std::string first = Member("/", FirstLinkerData(names));
    const std::string second_data = SecondLinkerData(names);
    const std::string whole = sig + first + Member("/", second_data);
    const std::size_t table_at = sig.size() + first.size() + 60 + second_data.find("_Alpha");

    std::string huge_m = second_data, huge_n = second_data;
    huge_m.replace(0, 4, std::string(4, '\xFF'));
    huge_n.replace(8, 4, std::string(4, '\xFF'));  // one member: N follows at 4 + 4
    std::string gnu_huge;
    PutBE32(gnu_huge, 0xFFFFFFFFu);
    gnu_huge += "_x";
    // A table that claims 16 million names over nothing but zeros.
    std::string flood_data;
    PutLE32(flood_data, 0);
    PutLE32(flood_data, 0x01000000u);

    std::vector<HostileFile> files = {
        {"cut in the signature", dir.Write("cut-sig.lib", sig.substr(0, 4)), 0, 1, "not an archive"},
        {"cut in the first header", dir.Write("cut-first.lib", whole.substr(0, 40)), 0, 1, "cut off"},
        {"cut in the second header", dir.Write("cut-second.lib", whole.substr(0, sig.size() + first.size() + 30)),
         0, 1, "cut off"},
        // "_Alpha@4", then "_Be" without its end: the name runs to the end of the file.
        {"cut in the names", dir.Write("cut-names.lib", whole.substr(0, table_at + 12)), 2, 0, "fewer names"},
        {"member count past the end", dir.Write("huge-m.lib", sig + first + Member("/", huge_m)), 0, 1,
         "beyond the end"},
        {"symbol count past the end", dir.Write("huge-n.lib", sig + first + Member("/", huge_n)), 0, 1,
         "beyond the end"},
        {"GNU table count past the end", dir.Write("huge-gnu.lib", sig + Member("/", gnu_huge) + Member("a.o/", "x")),
         0, 1, "beyond the end"},
        {"first member past the end",
         dir.Write("first-past.lib", sig + MemberHeader("/", 0, "9999999999") + second_data), 0, 1, "cut off"},
        {"second member past the end",
         dir.Write("second-past.lib", sig + first + MemberHeader("/", 0, "9999999999") + second_data), 3, 0, ""},
        {"2 GiB of zeros", WriteSparse(dir, "zeros.lib", "", kTwoGiB), 0, 1, "not an archive"},
        {"2 GiB library, table in front", WriteSparse(dir, "big.lib", whole, kTwoGiB), 3, 0, ""},
    };
    if (flood)
        files.push_back({"2 GiB library of empty names",
                         WriteSparse(dir, "flood.lib", sig + first + MemberHeader("/", 0, "2000000000") + flood_data,
                                     kTwoGiB),
                         200000, 0, "more than 200000"});
    return files;
}

// DLLs for the librarian: forwarders that loop back on each other must not be followed, and
// damaged export directories must be refused.
inline std::vector<HostileFile> WriteHostileDlls(const TempDir& dir) {
    PeSpec loop;
    loop.DllName = "loop.dll";
    loop.Exports = {{"Ping", PeExportSpec::Forwarded, "loop.Pong"},
                    {"Pong", PeExportSpec::Forwarded, "loop.Ping"},
                    {"Self", PeExportSpec::Forwarded, "loop.Self"}};
    PeImage sound = BuildPe(MixedExportsSpec(false));
    PeImage counted = sound;
    counted.SetDir(24, 0xFFFFFFFFu);  // number of names
    std::filesystem::create_directories(dir.File("dlls"));
    return {
        {"forwarder loop", dir.Write("dlls/loop.dll", BuildPe(loop).Bytes), 3, 0, ""},
        {"cut in the export directory", dir.Write("dlls/cut.dll", sound.Bytes.substr(0, sound.EdataEnd - 8)), 0, 1,
         "cut.dll"},
        {"name count past the end", dir.Write("dlls/count.dll", counted.Bytes), 0, 1, "count.dll"},
        {"2 GiB of zeros", WriteSparse(dir, "dlls/zeros.dll", "", kTwoGiB), 0, 1, "zeros.dll"},
    };
}

}  // namespace ztest
