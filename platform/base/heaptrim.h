#pragma once
// Gives the heap's free pages back to the system, on a thread of this library's own (which stays
// loaded while the process lives), so that the caller goes on at once: after a window with many
// rows or a large cache has let go of them.
void QvReleaseFreeHeapSoon();
