#include "qvsysinfo.h"
#include "utf.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

CString QvGetComputerName(long, long) {
    char name[HOST_NAME_MAX + 1] = {};
    if (gethostname(name, sizeof name - 1) != 0) return CString();
    return CString(qv::FromUtf8(name));
}

CString QvGetAppID() {
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return CString();
    return CString(qv::FromUtf8(exe.filename().string()));
}

BOOL QvGetRunAsService() {
    const char* value = std::getenv("QV_RUN_AS_SERVICE");
    return value && *value && std::string(value) != "0" ? TRUE : FALSE;
}

CString DoubleToSqlText(double dValue) {
    // to_chars never looks at the locale, unlike printf.
    char buf[400];
    const auto r = std::to_chars(buf, buf + sizeof buf, dValue, std::chars_format::fixed, 6);
    if (r.ec != std::errc()) return CString(L"0.000000");
    return CString(qv::FromUtf8(std::string_view(buf, static_cast<std::size_t>(r.ptr - buf))));
}
