#pragma once
// CControlObj: one entry of a server's popup, command or accelerator list: the name the frame knows
// the entry by and the value it was added with.
#include "cstring.h"
#include "qvobject.h"

#include <memory>
#include <vector>

class CControlObj : public CObject {
public:
    CControlObj(const CString& strName, long lValue) : m_strName(strName), m_lValue(lValue) {}

    CString m_strName;
    long m_lValue;
};

// A list of entries, owned: removing an entry deletes it.
using CControlObjList = std::vector<std::unique_ptr<CControlObj>>;

// The first entry of that name (compared without regard to case), or null.
CControlObj* QvFFindControlObj(CControlObjList& list, const CString& strName);
// Removes and deletes the first entry of that name; FALSE when there is none.
BOOL QvFRemoveControlObj(CControlObjList& list, const CString& strName);
