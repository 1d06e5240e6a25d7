#pragma once
// Work that a library leaves running behind objects that are gone: a closed window's worker still
// inside a database call, which ends by itself. The library keeps itself loaded while such work
// runs (its DllCanUnloadNow says so) and names a handler here while it is loaded. The program's
// end calls QvEndLeftWork before it unloads its libraries: each handler cancels its work and waits
// for its end, within the time given. Never while a library is loaded or unloaded: a thread's
// end may need the loader, which is taken then.
#include "qvtypes.h"

// TRUE when none of the library's left work runs any more; waits at most dwMilliseconds.
using LeftWorkHandler = BOOL (*)(DWORD dwMilliseconds);
void QvAddLeftWorkHandler(LeftWorkHandler handler);
void QvRemoveLeftWorkHandler(LeftWorkHandler handler);
// Cancels all left work and waits for its end, at most dwMilliseconds in all; TRUE when none runs.
BOOL QvEndLeftWork(DWORD dwMilliseconds);
