#pragma once
#include <cstddef>
// The one place where the heap's free pages go back to the system. A window that held much data
// (many rows, long texts, a large cache) asks for it once it has let go of them, as does a thread
// that frees such data for a window; the caller goes on at once. The asks of a moment, from the
// window's several layers, are one trim on a thread of this library's own (which stays loaded
// while the process lives), a moment after the first.
void QvReleaseFreeHeapSoon();
// The trims done so far; with `settled`, once the trim asked for last is done (a few seconds at
// most).
std::size_t QvFreeHeapReleases(bool settled = false);
