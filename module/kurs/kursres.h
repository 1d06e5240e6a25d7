#pragma once
// The course module's resources: its module handle for the string tables, the handle its texts are
// loaded from (a language library may take its place) and the scope in which the module's calls
// load their texts.
#include "cstring.h"
#include "strtable.h"

HINSTANCE KursModuleHandle();
HINSTANCE KursResourceHandle();
// nullptr goes back to the module's own table.
void KursSetResourceHandle(HINSTANCE resource);

// Makes the module's texts the current resource table for the life of the object, as every entry
// into the module does.
class CKursResourceScope {
public:
    CKursResourceScope();
    ~CKursResourceScope();
    CKursResourceScope(const CKursResourceScope&) = delete;
    CKursResourceScope& operator=(const CKursResourceScope&) = delete;

private:
    HINSTANCE m_hPrevious;
};

// A text of the module's table (the module's own German text when the resource table lacks it).
CString KursLoadString(UINT id);

// The table of the notification, template and quota dialogs, and a text of it.
HINSTANCE KursNotifStringsHandle();
CString KursNotifString(UINT id);
// Makes that table the current resource table for the life of the object (list headers).
class CKursNotifResourceScope {
public:
    CKursNotifResourceScope() : m_hPrevious(AfxGetResourceHandle()) { AfxSetResourceHandle(KursNotifStringsHandle()); }
    ~CKursNotifResourceScope() { AfxSetResourceHandle(m_hPrevious); }
    CKursNotifResourceScope(const CKursNotifResourceScope&) = delete;
    CKursNotifResourceScope& operator=(const CKursNotifResourceScope&) = delete;

private:
    HINSTANCE m_hPrevious;
};
