#include "guid.h"
#include <cstring>
#include <cstdio>
#include <random>
#include <mutex>
#include <fstream>

const GUID GUID_NULL{};

bool operator==(const GUID& a, const GUID& b) noexcept {
    return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
           std::memcmp(a.Data4, b.Data4, 8) == 0;
}

bool operator<(const GUID& a, const GUID& b) noexcept {
    if (a.Data1 != b.Data1) return a.Data1 < b.Data1;
    if (a.Data2 != b.Data2) return a.Data2 < b.Data2;
    if (a.Data3 != b.Data3) return a.Data3 < b.Data3;
    return std::memcmp(a.Data4, b.Data4, 8) < 0;
}

std::size_t std::hash<GUID>::operator()(const GUID& g) const noexcept {
    std::uint64_t a = (std::uint64_t(g.Data1) << 32) | (std::uint64_t(g.Data2) << 16) | g.Data3;
    std::uint64_t b;
    std::memcpy(&b, g.Data4, 8);
    return std::hash<std::uint64_t>()(a ^ (b * 0x9E3779B97F4A7C15ull));
}

namespace qv {

std::string GuidToUtf8(const GUID& g, bool braces, bool upper) {
    char buf[40];
    const char* fmt = upper ? "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X"
                            : "%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x";
    std::snprintf(buf, sizeof buf, fmt, unsigned(g.Data1), unsigned(g.Data2), unsigned(g.Data3),
                  g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6],
                  g.Data4[7]);
    return braces ? "{" + std::string(buf) + "}" : std::string(buf);
}

std::wstring GuidToString(const GUID& g, bool braces, bool upper) {
    std::string s = GuidToUtf8(g, braces, upper);
    return std::wstring(s.begin(), s.end());
}

template <typename Ch>
static bool parseGuid(std::basic_string_view<Ch> t, GUID& out) {
    while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
    while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.remove_suffix(1);
    if (t.size() == 38) {
        if (t.front() != '{' || t.back() != '}') return false;
        t = t.substr(1, 36);
    }
    if (t.size() != 36) return false;
    unsigned char bytes[16];
    int nb = 0;
    for (size_t i = 0; i < 36;) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (t[i] != '-') return false;
            ++i;
            continue;
        }
        auto hv = [](Ch c) -> int {
            if (c >= '0' && c <= '9') return c - '0';
            if (c >= 'a' && c <= 'f') return c - 'a' + 10;
            if (c >= 'A' && c <= 'F') return c - 'A' + 10;
            return -1;
        };
        int hi = hv(t[i]), lo = hv(t[i + 1]);
        if (hi < 0 || lo < 0) return false;
        bytes[nb++] = static_cast<unsigned char>(hi * 16 + lo);
        i += 2;
    }
    GUID g;
    g.Data1 = (DWORD(bytes[0]) << 24) | (DWORD(bytes[1]) << 16) | (DWORD(bytes[2]) << 8) | bytes[3];
    g.Data2 = WORD((bytes[4] << 8) | bytes[5]);
    g.Data3 = WORD((bytes[6] << 8) | bytes[7]);
    std::memcpy(g.Data4, bytes + 8, 8);
    out = g;
    return true;
}

bool GuidFromString(std::wstring_view text, GUID& out) { return parseGuid(text, out); }
bool GuidFromString(std::string_view text, GUID& out) { return parseGuid(text, out); }

GUID NewGuid() {
    static std::mutex m;
    static std::mt19937_64 rng = [] {
        std::random_device rd;
        std::seed_seq seq{rd(), rd(), rd(), rd(), rd(), rd(), rd(), rd()};
        return std::mt19937_64(seq);
    }();
    std::uint64_t a, b;
    {
        std::lock_guard<std::mutex> lk(m);
        a = rng();
        b = rng();
    }
    GUID g;
    g.Data1 = DWORD(a >> 32);
    g.Data2 = WORD(a >> 16);
    g.Data3 = WORD((a & 0x0FFF) | 0x4000);  // version 4
    b = (b & 0x3FFFFFFFFFFFFFFFull) | 0x8000000000000000ull;  // RFC 4122 variant
    for (int i = 0; i < 8; ++i) g.Data4[i] = BYTE(b >> (56 - 8 * i));
    return g;
}

}  // namespace qv
