#pragma once
// String tables as data: each module registers its (German) strings under its module handle;
// LoadString reads the table of the current resource handle, which the language library switches.
#include "qvtypes.h"
#include <initializer_list>
#include <string>
#include <utility>

namespace qv {
// Adds the strings to the module's table (an id given again replaces the earlier text). The
// first module that registers becomes the resource handle while none has been set.
void RegisterStringTable(HINSTANCE module, std::initializer_list<std::pair<UINT, const wchar_t*>> strings);
// Forgets the module's table (a resource library being unloaded); a resource handle naming it
// then finds nothing.
void UnregisterStringTable(HINSTANCE module);
// False, with 'out' unchanged, when the module has no string with this id.
bool LookupString(HINSTANCE module, UINT id, std::wstring& out);
}  // namespace qv

HINSTANCE AfxGetResourceHandle();
void AfxSetResourceHandle(HINSTANCE module);

// Copies at most max-1 characters and a terminator; returns the characters copied, 0 when the
// string is missing (then buf holds an empty string) or the arguments are unusable.
int LoadStringW(HINSTANCE module, UINT id, LPWSTR buf, int max);
inline int LoadString(HINSTANCE module, UINT id, LPWSTR buf, int max) { return LoadStringW(module, id, buf, max); }
