// Small DLLs whose exports carry machine code given byte by byte, for tests of what is read
// from a DLL's code. Export i starts at file offset 0x400 + 16 i (RVA 0x1000 + 16 i); the rest
// of the code section is zeros.
#pragma once
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "support/PeBuilder.h"

namespace ztest {

inline std::string DllWithCode(bool wide, const std::vector<std::pair<std::string, std::string>>& functions,
                               const std::string& dll_name = "test.dll") {
    PeSpec spec;
    spec.Pe32Plus = wide;
    spec.DllName = dll_name;
    for (const auto& f : functions) spec.Exports.push_back({f.first, PeExportSpec::Code, ""});
    PeImage img = BuildPe(spec);
    for (std::size_t i = 0; i < functions.size(); ++i)
        img.Bytes.replace(0x400 + 16 * i, std::min<std::size_t>(functions[i].second.size(), 16), functions[i].second);
    return img.Bytes;
}

}  // namespace ztest
