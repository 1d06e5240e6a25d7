#include "trace.h"
#include "utf.h"
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>

namespace {

struct TraceState {
    std::mutex lock;
    std::deque<std::wstring> lines;
};

TraceState& State() {
    static TraceState* s = new TraceState;  // never destroyed: threads may trace during exit
    return *s;
}

bool ToStderr() {
    const char* v = std::getenv("QV_TRACE");
    return v && *v;
}

}  // namespace

void OutputDebugStringW(LPCWSTR text) {
    if (!text) return;
    const std::wstring_view all(text);
    if (ToStderr()) {
        const std::string u = qv::ToUtf8(all);
        std::fwrite(u.data(), 1, u.size(), stderr);
        std::fflush(stderr);
        return;
    }
    TraceState& s = State();
    std::lock_guard g(s.lock);
    size_t pos = 0;
    while (pos < all.size()) {
        size_t nl = all.find(L'\n', pos);
        const size_t end = nl == std::wstring_view::npos ? all.size() : nl;
        std::wstring line(all.substr(pos, end - pos));
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        s.lines.push_back(std::move(line));
        if (s.lines.size() > qv::kTraceCapacity) s.lines.pop_front();
        pos = end + 1;
    }
}

void OutputDebugStringA(LPCSTR utf8) {
    if (!utf8) return;
    OutputDebugStringW(qv::FromUtf8(utf8).c_str());
}

namespace qv {

std::vector<std::wstring> TraceLines() {
    TraceState& s = State();
    std::lock_guard g(s.lock);
    return {s.lines.begin(), s.lines.end()};
}

void ClearTrace() {
    TraceState& s = State();
    std::lock_guard g(s.lock);
    s.lines.clear();
}

}  // namespace qv
