#pragma once
// The record search's resources: its module handle for the string tables and dialog templates,
// and the scope in which the search's entry points load their texts.
#include "cstring.h"
#include "strtable.h"

HINSTANCE SearchModuleHandle();
// A text of the search's table (the current resource table first).
CString SearchLoadString(UINT id);

// Makes the search's texts the current resource table for the life of the object.
class CSearchResourceScope {
public:
    CSearchResourceScope();
    ~CSearchResourceScope();
    CSearchResourceScope(const CSearchResourceScope&) = delete;
    CSearchResourceScope& operator=(const CSearchResourceScope&) = delete;

private:
    HINSTANCE m_hPrevious;
};
