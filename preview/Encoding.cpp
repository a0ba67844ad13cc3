#include "preview/Encoding.h"

#include <windows.h>

#include <algorithm>
#include <climits>

namespace zandrel {

namespace {

bool IsAscii(std::string_view s) {
    return std::all_of(s.begin(), s.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::string Convert(std::string_view in, UINT from, UINT to) {
    if (in.empty() || IsAscii(in)) return std::string(in);
    if (in.size() > static_cast<std::size_t>(INT_MAX / 4)) return {};
    const int inLen = static_cast<int>(in.size());
    int wideLen = MultiByteToWideChar(from, 0, in.data(), inLen, nullptr, 0);
    if (wideLen <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(wideLen), L'\0');
    MultiByteToWideChar(from, 0, in.data(), inLen, wide.data(), wideLen);
    int outLen = WideCharToMultiByte(to, 0, wide.data(), wideLen, nullptr, 0, nullptr, nullptr);
    if (outLen <= 0) return {};
    std::string out(static_cast<std::size_t>(outLen), '\0');
    WideCharToMultiByte(to, 0, wide.data(), wideLen, out.data(), outLen, nullptr, nullptr);
    return out;
}

}  // namespace

std::string AnsiToUtf8(std::string_view ansi) { return Convert(ansi, CP_ACP, CP_UTF8); }
std::string Utf8ToAnsi(std::string_view utf8) { return Convert(utf8, CP_UTF8, CP_ACP); }

}  // namespace zandrel
