#pragma once
// The debugger output. With QV_TRACE set (non-empty) every text goes to stderr; otherwise the last
// lines are kept in memory, where tests read them.
#include "qvtypes.h"
#include <string>
#include <vector>

void OutputDebugStringW(LPCWSTR text);
void OutputDebugStringA(LPCSTR utf8);
inline void OutputDebugString(LPCWSTR text) { OutputDebugStringW(text); }

namespace qv {
constexpr std::size_t kTraceCapacity = 1000;
// The kept lines, oldest first, without their line feeds. A text with several line feeds gives
// several lines; one without a line feed is a line of its own.
std::vector<std::wstring> TraceLines();
void ClearTrace();
}  // namespace qv
