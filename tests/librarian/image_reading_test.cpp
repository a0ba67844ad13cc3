// Reading only the part of a DLL that its code needs: the debug sections and symbols after it
// are left out, the answers stay those of the whole file, and damaged files still end cleanly.
// Also the librarian's choice to read no code for a 64-bit library, and stopping a reading.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>

#include "librarian/InferredCounts.h"
#include "librarian/Librarian.h"
#include "support/CodeDll.h"
#include "support/PeBuilder.h"
#include "support/TempDir.h"

using namespace zandrel::librarian;
using namespace ztest;

namespace {

// `bytes` (a BuildPe image of three sections) with a fourth, discardable section of `size`
// bytes of debug data appended, and `tail` more bytes after it (a symbol table).
std::string WithDebugSection(std::string bytes, std::uint32_t size, std::size_t tail = 0) {
    PeImage img;
    img.Bytes = std::move(bytes);
    img.SectionTable = img.Optional + 224;
    const std::size_t s = img.SectionTable + 40 * 3;
    const std::uint32_t raw = static_cast<std::uint32_t>(img.Bytes.size());
    img.Set16(img.Coff + 2, 4);
    img.Bytes.replace(s, 6, ".debug");
    img.Set32(s + 8, size);
    img.Set32(s + 12, 0x10000);
    img.Set32(s + 16, size);
    img.Set32(s + 20, raw);
    img.Set32(s + 36, 0x42000040);  // initialised data, discardable, readable
    img.Bytes += std::string(size, 'D') + std::string(tail, 'S');
    return img.Bytes;
}

std::string Text(const Signature& s) {
    return std::string(CallConventionText(s.Convention)) + " " + CertaintyText(s.Sure) + " " +
           std::to_string(s.Count) + (s.Variadic ? " variadic" : "");
}

using Reader = bool (*)(const std::string&, FileBytes&, std::string&);

// The whole file, as the librarian reads it.
bool ReadWhole(const std::string& path, FileBytes& bytes, std::string& reason) {
    std::string whole;
    if (!ReadDllFile(path, whole, reason)) return false;
    bytes = std::move(whole);
    return true;
}

std::vector<Signature> InferFile(const std::string& folder, const std::string& name, Reader read,
                                 const InferLimits& limits = {}) {
    FileBytes image;
    std::string reason;
    PeExports exports;
    if (!read(folder + "/" + name, image, reason) || !ReadPeExports(image, exports, reason)) return {};
    const ImageLoader loader = [&folder, read](const std::string& dll, FileBytes& bytes) {
        std::string lower, why;
        for (char c : dll) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        return read(folder + "/" + lower + ".dll", bytes, why);
    };
    return InferSignatures(image, exports, loader, limits);
}

}  // namespace

TEST(ImageReading, TrailingDebugDataIsLeftOut) {
    TempDir dir;
    const std::string plain = DllWithCode(false, {{"Pair", "\xC2\x08\x00"}});
    const std::string path = dir.Write("debug.dll", WithDebugSection(plain, 0x3000, 0x500));
    FileBytes bytes;
    std::string reason;
    ASSERT_TRUE(ReadDllCode(path, bytes, reason)) << reason;
    // Exactly the file up to the debug section: every offset as in the file.
    EXPECT_EQ(bytes.size(), plain.size());
    EXPECT_EQ(bytes.View(), WithDebugSection(plain, 0x3000, 0x500).substr(0, plain.size()));
    PeExports exports;
    ASSERT_TRUE(ReadPeExports(bytes, exports, reason)) << reason;
    const std::vector<Signature> sigs = InferSignatures(bytes, exports);
    ASSERT_EQ(sigs.size(), 1u);
    EXPECT_EQ(Text(sigs[0]), "stdcall exact 2");

    // A file without such sections is read whole, as ReadDllFile reads it.
    std::string whole;
    ASSERT_TRUE(ReadDllCode(dir.Write("plain.dll", plain), bytes, reason)) << reason;
    ASSERT_TRUE(ReadDllFile(dir.File("plain.dll"), whole, reason)) << reason;
    EXPECT_EQ(bytes.View(), whole);
}

TEST(ImageReading, ADiscardableSectionTheWalkNeedsIsKept) {
    TempDir dir;
    std::string file = WithDebugSection(DllWithCode(false, {{"Pair", "\xC2\x08\x00"}}), 0x1000);
    // The base relocations live in that section (as .reloc is discardable too).
    PeImage img;
    img.Bytes = file;
    img.Set32(img.Optional + 96 + 8 * 5, 0x10000);
    img.Set32(img.Optional + 96 + 8 * 5 + 4, 8);
    FileBytes bytes;
    std::string reason;
    ASSERT_TRUE(ReadDllCode(dir.Write("reloc.dll", img.Bytes), bytes, reason)) << reason;
    EXPECT_EQ(bytes.View(), img.Bytes);
    // Code marked discardable is code all the same.
    img.Bytes = file;
    img.Set32(img.Optional + 224 + 40 * 3 + 36, 0x62000020);
    ASSERT_TRUE(ReadDllCode(dir.Write("code.dll", img.Bytes), bytes, reason)) << reason;
    EXPECT_EQ(bytes.View(), img.Bytes);
}

TEST(ImageReading, DamagedFilesAreRefusedOrReadAsAWhole) {
    TempDir dir;
    FileBytes bytes;
    std::string reason, whole_reason;
    // Refusals with ReadDllFile's reasons.
    EXPECT_FALSE(ReadDllCode(dir.Write("text.dll", "not an image"), bytes, reason));
    EXPECT_EQ(reason, "not a PE image (no MZ header)");
    EXPECT_FALSE(ReadDllCode(dir.File("missing.dll"), bytes, reason));
    EXPECT_FALSE(reason.empty());
    // Headers that do not read: the whole file, for the walk to refuse.
    const std::string cut = DllWithCode(false, {{"Pair", "\xC2\x08\x00"}}).substr(0, 0x100);
    ASSERT_TRUE(ReadDllCode(dir.Write("cut.dll", cut), bytes, reason)) << reason;
    EXPECT_EQ(bytes.View(), cut);
    // A section whose data runs past the end of the file: nothing to leave out.
    const std::string full = WithDebugSection(DllWithCode(false, {{"Pair", "\xC2\x08\x00"}}), 0x3000);
    const std::string shorter = full.substr(0, full.size() - 0x100);
    PeImage img;
    img.Bytes = shorter;
    img.Set32(img.Optional + 224 + 40 * 3 + 36, 0x40000040);  // no longer discardable
    ASSERT_TRUE(ReadDllCode(dir.Write("short.dll", img.Bytes), bytes, reason)) << reason;
    EXPECT_EQ(bytes.View(), img.Bytes);
    // A section table claiming more sections than the first pages hold.
    img.Bytes = full;
    img.Set16(img.Coff + 2, 0xFFFF);
    ASSERT_TRUE(ReadDllCode(dir.Write("many.dll", img.Bytes), bytes, reason)) << reason;
    EXPECT_EQ(bytes.View(), img.Bytes);
}

// Windows maps the file, elsewhere it is read: the bytes and the refusals are the same, and
// what a reading hands out stays whole for as long as any copy of it is kept.
TEST(ImageReading, MappedOrReadTheBytesAreTheFiles) {
    TempDir dir;
    const std::string file = WithDebugSection(DllWithCode(false, {{"Pair", "\xC2\x08\x00"}}), 0x3000, 0x500);
    FileBytes whole;
    if (MapWholeFile(dir.Write("mapped.dll", file), whole)) {
        EXPECT_EQ(whole.View(), file);
    }
#ifdef _WIN32
    EXPECT_FALSE(whole.empty()) << "Windows maps the files it reads";
#else
    EXPECT_TRUE(whole.empty()) << "a mapped file cut short elsewhere would kill the process";
#endif
    FileBytes kept;
    std::string reason;
    {
        FileBytes bytes;
        ASSERT_TRUE(ReadDllCode(dir.File("mapped.dll"), bytes, reason)) << reason;
        kept = bytes.Prefix(0x40);
        whole.clear();
    }
    EXPECT_EQ(kept.View(), file.substr(0, 0x40));
    // An empty file (Windows will not map it) and a bare "MZ" are refused and taken as reading does.
    EXPECT_FALSE(ReadDllCode(dir.Write("empty.dll", ""), kept, reason));
    EXPECT_EQ(reason, "not a PE image (no MZ header)");
    EXPECT_TRUE(kept.empty());
    EXPECT_FALSE(MapWholeFile(dir.File("empty.dll"), whole));
    ASSERT_TRUE(ReadDllCode(dir.Write("mz.dll", "MZ"), kept, reason)) << reason;
    EXPECT_EQ(kept.View(), "MZ");
    EXPECT_FALSE(ReadDllCode(dir.Write("nz.dll", "NZ and more"), kept, reason));
    EXPECT_EQ(reason, "not a PE image (no MZ header)");
}

TEST(ImageReading, ATruncatedForwardedToDllEndsInUnknown) {
    const std::string folder = std::string(ZANDREL_WINE_DLL32);
    TempDir dir;
    const std::string dll = dir.Write("mixed.dll", BuildPe(MixedExportsSpec()).Bytes);  // "Close" -> OTHER.Close
    std::string kernel32;
    std::string reason;
    if (!ReadDllFile(folder + "/kernel32.dll", kernel32, reason)) GTEST_SKIP() << "no Wine 32-bit DLLs in " << folder;
    // Cut at several points: in the headers, in the code, in the export directory's section.
    for (std::size_t keep : {std::size_t{0x200}, std::size_t{0x2000}, kernel32.size() / 3, kernel32.size() / 2}) {
        std::filesystem::remove(dir.File("other.dll"));
        dir.Write("other.dll", kernel32.substr(0, keep));
        InferredCounts counts;
        std::string error;
        ASSERT_TRUE(InferDllCounts(dll, FolderImageLoader({dir.File("")}, Machine::X86), counts, error)) << error;
        EXPECT_EQ(counts.count("_Close"), 0u) << keep;
    }
}

// The answers over real DLLs, whole files against the parts read for the code (other DLLs
// read the same way), must not differ in one export.
TEST(ImageReading, RealDllsAnswerAsFromTheWholeFile) {
    for (const char* folder : {ZANDREL_WINE_DLL32, ZANDREL_WINE_DLL64}) {
        if (!std::filesystem::exists(std::string(folder) + "/msvcrt.dll")) continue;
        for (const char* name : {"msvcrt.dll", "shell32.dll"}) {
            const std::vector<Signature> whole = InferFile(folder, name, &ReadWhole);
            const std::vector<Signature> part = InferFile(folder, name, &ReadDllCode);
            ASSERT_EQ(whole.size(), part.size()) << folder << "/" << name;
            ASSERT_GT(whole.size(), 100u) << folder << "/" << name;
            std::size_t differ = 0;
            for (std::size_t i = 0; i < whole.size(); ++i) differ += Text(whole[i]) != Text(part[i]);
            EXPECT_EQ(differ, 0u) << folder << "/" << name;
            FileBytes bytes;
            std::string reason;
            ASSERT_TRUE(ReadDllCode(std::string(folder) + "/" + name, bytes, reason));
            EXPECT_LT(bytes.size(), std::filesystem::file_size(std::string(folder) + "/" + name)) << name;
        }
    }
}

TEST(ImageReading, AStoppedReadingEndsWithWeakerAnswers) {
    const std::string folder = std::string(ZANDREL_WINE_DLL64);
    if (!std::filesystem::exists(folder + "/msvcrt.dll")) GTEST_SKIP() << "no Wine 64-bit DLLs in " << folder;
    std::atomic<bool> stop{true};
    InferLimits limits;
    limits.Stop = &stop;
    const std::vector<Signature> stopped = InferFile(folder, "msvcrt.dll", &ReadDllCode, limits);
    const std::vector<Signature> full = InferFile(folder, "msvcrt.dll", &ReadDllCode);
    ASSERT_EQ(stopped.size(), full.size());
    // x64 counts are never exact: count every answer with something to say.
    std::size_t known_stopped = 0, known_full = 0;
    for (std::size_t i = 0; i < full.size(); ++i) {
        known_stopped += stopped[i].Sure != Certainty::Unknown && stopped[i].Count > 0;
        known_full += full[i].Sure != Certainty::Unknown && full[i].Count > 0;
    }
    // Only what was done before the first look at the flag is left.
    EXPECT_GT(known_full, 500u);
    EXPECT_LT(known_stopped, 20u);
}

TEST(ImageReading, A64BitLibraryIsTheSameWithoutReadingTheCode) {
    for (const auto& [folder, machine] : {std::pair{std::string(ZANDREL_WINE_DLL64), Machine::X64},
                                          std::pair{std::string(ZANDREL_WINE_DLL32), Machine::X86}}) {
        const std::string dll = folder + "/version.dll";
        if (!std::filesystem::exists(dll)) continue;
        TempDir dir;
        BuildReport with, without;
        std::string error;
        ASSERT_TRUE(BuildImportLibraryFile(dll, machine, dir.File("with.lib"), 0, with, error)) << error;
        ASSERT_TRUE(BuildImportLibraryFile(dll, machine, dir.File("without.lib"), 0, without, error, {}, false))
            << error;
        EXPECT_EQ(ReadFile(dir.File("with.lib")), ReadFile(dir.File("without.lib"))) << dll;
        EXPECT_FALSE(with.Counts.empty()) << dll;
        EXPECT_TRUE(without.Counts.empty()) << dll;
    }
}
