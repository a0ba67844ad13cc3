// The export directory reader on images built byte by byte: sound ones of both widths, and
// every kind of damage a hostile or cut-off file can carry.
#include <gtest/gtest.h>

#include "librarian/PeExports.h"
#include "support/PeBuilder.h"

using namespace zandrel::librarian;
using namespace ztest;

namespace {

PeSpec Mixed(bool pe32plus) {
    PeSpec spec;
    spec.Pe32Plus = pe32plus;
    spec.DllName = "MIXED.dll";
    spec.OrdinalBase = 5;
    spec.Exports = {{"Alpha", PeExportSpec::Code, ""},
                    {"", PeExportSpec::Code, ""},             // ordinal-only, ordinal 6
                    {"Beta", PeExportSpec::Data, ""},
                    {"Gamma", PeExportSpec::Forwarded, "NTDLL.RtlGamma"},
                    {"", PeExportSpec::Empty, ""},            // unused slot
                    {"Unused", PeExportSpec::Empty, ""},      // named, but exports nothing
                    {"", PeExportSpec::Forwarded, "OTHER.#3"}}; // ordinal-only forwarder
    return spec;
}

std::string Reason(const std::string& bytes) {
    PeExports out;
    std::string reason;
    EXPECT_FALSE(ReadPeExports(bytes, out, reason));
    return reason;
}

}  // namespace

TEST(PeExports, NamedOrdinalOnlyForwardedCodeAndData) {
    for (bool wide : {false, true}) {
        SCOPED_TRACE(wide ? "PE32+" : "PE32");
        PeImage img = BuildPe(Mixed(wide));
        PeExports out;
        std::string reason;
        ASSERT_TRUE(ReadPeExports(img.Bytes, out, reason)) << reason;
        EXPECT_EQ(out.Pe32Plus, wide);
        EXPECT_EQ(out.Machine, wide ? 0x8664 : 0x14C);
        EXPECT_EQ(out.DllName, "MIXED.dll");
        ASSERT_EQ(out.Named.size(), 3u);  // "Unused" points at an empty slot
        EXPECT_EQ(out.Named[0].Name, "Alpha");
        EXPECT_EQ(out.Named[0].Ordinal, 5u);
        EXPECT_FALSE(out.Named[0].Data);
        EXPECT_EQ(out.Named[1].Name, "Beta");
        EXPECT_EQ(out.Named[1].Ordinal, 7u);
        EXPECT_EQ(out.Named[1].NameIndex, 1u);
        EXPECT_TRUE(out.Named[1].Data);
        EXPECT_EQ(out.Named[2].Name, "Gamma");
        EXPECT_EQ(out.Named[2].Forwarder, "NTDLL.RtlGamma");
        EXPECT_FALSE(out.Named[2].Data);
        ASSERT_EQ(out.OrdinalOnly.size(), 2u);
        EXPECT_EQ(out.OrdinalOnly[0].Ordinal, 6u);
        EXPECT_TRUE(out.OrdinalOnly[0].Name.empty());
        EXPECT_EQ(out.OrdinalOnly[1].Ordinal, 11u);
        EXPECT_EQ(out.OrdinalOnly[1].Forwarder, "OTHER.#3");
    }
}

TEST(PeExports, OrdinalsDoNotWrapAtTheTopOfTheBase) {
    PeSpec spec;
    spec.OrdinalBase = 0xFFFFFFFF;
    spec.Exports = {{"A", PeExportSpec::Code, ""}, {"B", PeExportSpec::Code, ""}};
    PeExports out;
    std::string reason;
    ASSERT_TRUE(ReadPeExports(BuildPe(spec).Bytes, out, reason)) << reason;
    EXPECT_EQ(out.Named[1].Ordinal, 0x100000000ull);
}

TEST(PeExports, EveryCutOffImageFailsUntilItsDataIsWhole) {
    PeImage img = BuildPe(Mixed(false));
    for (std::size_t len = 0; len < img.Bytes.size(); ++len) {
        PeExports out;
        std::string reason;
        bool ok = ReadPeExports(std::string_view(img.Bytes).substr(0, len), out, reason);
        if (len < img.EdataEnd) {
            EXPECT_FALSE(ok) << len;
            EXPECT_FALSE(reason.empty()) << len;
        } else {
            EXPECT_TRUE(ok) << len << ": " << reason;  // only padding is missing
            EXPECT_EQ(out.Named.size(), 3u);
        }
    }
}

TEST(PeExports, HeaderFaults) {
    PeImage good = BuildPe(Mixed(false));
    EXPECT_EQ(Reason("plain text, not an image"), "not a PE image (no MZ header)");
    PeImage img = good;
    img.Set32(60, 0xFFFFFFFE);  // PE offset near 4 GiB: must not wrap back into the file
    EXPECT_EQ(Reason(img.Bytes), "not a PE image (no PE signature)");
    img = good;
    img.Bytes[0x81] = 'X';
    EXPECT_EQ(Reason(img.Bytes), "not a PE image (no PE signature)");
    img = good;
    img.Set16(img.Optional, 0x107);
    EXPECT_EQ(Reason(img.Bytes), "not a PE image (unknown optional header magic)");
    img = good;
    img.Set16(img.Coff + 16, 0xFFFF);  // optional header past the end
    EXPECT_EQ(Reason(img.Bytes), "truncated file (optional header cut off)");
    img = good;
    img.Set16(img.Coff + 2, 0xFFFF);  // 65535 sections
    EXPECT_EQ(Reason(img.Bytes), "truncated file (section table cut off)");
    img = good;
    img.Set32(img.Optional + 92, 0);  // no data directories
    EXPECT_EQ(Reason(img.Bytes), "no export directory");
    img = good;
    img.Set16(img.Coff + 16, 96);  // optional header too short to hold the export entry
    EXPECT_EQ(Reason(img.Bytes), "no export directory");
    PeSpec none = Mixed(true);
    none.WithExports = false;
    EXPECT_EQ(Reason(BuildPe(none).Bytes), "no export directory");
}

TEST(PeExports, TablesOutOfRange) {
    const PeImage good = BuildPe(Mixed(false));
    struct Case {
        const char* what;
        std::size_t field;
        std::uint32_t value;
        const char* reason;
    };
    const Case cases[] = {
        {"functions past the section", 28, 0x3000 + 0x1F0, "export address table lies outside the file"},
        {"functions at 4 GiB", 28, 0xFFFFFFFC, "export address table lies outside the file"},
        {"names unmapped", 32, 0x9000, "export name table lies outside the file"},
        {"ordinals wrap", 36, 0xFFFFFFFF, "export ordinal table lies outside the file"},
        {"huge name count", 24, 0xFFFFFFFF, "export directory claims more than 1048576 exports"},
        {"huge function count", 20, 0x40000000, "export directory claims more than 1048576 exports"},
        {"count at the cap", 20, 0x100000, "export address table lies outside the file"},
        {"names past the end", 24, 0x10000, "export name table lies outside the file"},
    };
    for (const Case& c : cases) {
        PeImage img = good;
        img.SetDir(c.field, c.value);
        EXPECT_EQ(Reason(img.Bytes), c.reason) << c.what;
    }
    PeImage img = good;
    img.Set32(img.ExportEntry, 0xFFFFFFF0);
    EXPECT_EQ(Reason(img.Bytes), "export directory lies outside the file");
    img = good;
    img.Set32(img.ExportEntry, 0x1000 + 0x1F0);  // 40 bytes would cross the end of .text
    EXPECT_EQ(Reason(img.Bytes), "export directory lies outside the file");
}

TEST(PeExports, BadEntries) {
    const PeImage good = BuildPe(Mixed(false));
    PeImage img = good;
    img.Set32(img.Names + 4, 0x7FFFFFFF);  // second name pointer
    EXPECT_EQ(Reason(img.Bytes), "export name 1 lies outside the file or is not terminated");
    img = good;
    img.Set16(img.Ordinals, 7);  // only 7 address slots: 0..6
    EXPECT_EQ(Reason(img.Bytes), "export name 0 refers to a missing address slot");

    // A name that runs to the end of its section without a terminator.
    img = good;
    img.Bytes.replace(img.EdataEnd - 1, std::string::npos, std::string(img.Bytes.size() - img.EdataEnd + 1, 'x'));
    img.Set32(img.Names + 4 * 3, img.RvaOf(img.EdataEnd - 1));
    EXPECT_EQ(Reason(img.Bytes), "export name 3 lies outside the file or is not terminated");

    // Bytes past a section's virtual size are not part of it, even if the file holds them.
    img = good;
    img.Set32(img.SectionTable + 80 + 8, static_cast<std::uint32_t>(img.FirstName - 0x800));
    EXPECT_EQ(Reason(img.Bytes), "export name 0 lies outside the file or is not terminated");

    // A forwarder whose text is cut off by the end of the file.
    PeSpec spec;
    spec.Exports = {{"Fwd", PeExportSpec::Forwarded, "OTHER.Function"}};
    img = BuildPe(spec);
    std::size_t fwd = img.Bytes.find("OTHER.Function");
    img.Bytes.resize(fwd + 5);
    EXPECT_EQ(Reason(img.Bytes), "forwarder of export Fwd is not terminated");
}

TEST(PeExports, DataIsDecidedByTheSectionFlags) {
    PeSpec spec;
    spec.Exports = {{"InText", PeExportSpec::Code, ""}, {"InData", PeExportSpec::Data, ""}};
    PeImage img = BuildPe(spec);
    PeExports out;
    std::string reason;
    ASSERT_TRUE(ReadPeExports(img.Bytes, out, reason));
    EXPECT_FALSE(out.Named[0].Data);
    EXPECT_TRUE(out.Named[1].Data);
    // Executable without the code flag, or code without the execute flag: still code.
    img.Set32(img.SectionTable + 40 + 36, 0xE0000040);
    ASSERT_TRUE(ReadPeExports(img.Bytes, out, reason));
    EXPECT_FALSE(out.Named[1].Data);
    img.Set32(img.SectionTable + 40 + 36, 0x40000020);
    ASSERT_TRUE(ReadPeExports(img.Bytes, out, reason));
    EXPECT_FALSE(out.Named[1].Data);
    // An address outside every section is taken as code.
    img.Set32(img.Functions + 4, 0x00900000);
    ASSERT_TRUE(ReadPeExports(img.Bytes, out, reason));
    EXPECT_FALSE(out.Named[1].Data);
}
