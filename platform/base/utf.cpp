#include "utf.h"
#include <cstdint>

namespace qv {

std::string ToUtf8(std::wstring_view w) {
    std::string out;
    out.reserve(w.size());
    for (wchar_t wc : w) {
        auto c = static_cast<std::uint32_t>(wc);
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | (c >> 18));
            out += char(0x80 | ((c >> 12) & 0x3F));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::wstring FromUtf8(std::string_view s) {
    std::wstring out;
    out.reserve(s.size());
    size_t i = 0;
    while (i < s.size()) {
        auto b = static_cast<unsigned char>(s[i]);
        std::uint32_t c;
        int n;
        if (b < 0x80) { c = b; n = 0; }
        else if ((b & 0xE0) == 0xC0) { c = b & 0x1F; n = 1; }
        else if ((b & 0xF0) == 0xE0) { c = b & 0x0F; n = 2; }
        else if ((b & 0xF8) == 0xF0) { c = b & 0x07; n = 3; }
        else { out += wchar_t(0xFFFD); ++i; continue; }
        bool ok = true;
        for (int k = 1; k <= n; ++k) {
            if (i + k >= s.size()) { ok = false; break; }
            auto cb = static_cast<unsigned char>(s[i + k]);
            if ((cb & 0xC0) != 0x80) { ok = false; break; }
            c = (c << 6) | (cb & 0x3F);
        }
        static const std::uint32_t minForLen[4] = {0, 0x80, 0x800, 0x10000};
        if (!ok || c < minForLen[n] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            out += wchar_t(0xFFFD);
            ++i;
            continue;
        }
        out += wchar_t(c);
        i += n + 1;
    }
    return out;
}

}  // namespace qv
