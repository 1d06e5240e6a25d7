#include "controlobj.h"

CControlObj* QvFFindControlObj(CControlObjList& list, const CString& strName) {
    for (auto& entry : list)
        if (entry->m_strName.CompareNoCase(strName) == 0) return entry.get();
    return nullptr;
}

BOOL QvFRemoveControlObj(CControlObjList& list, const CString& strName) {
    for (auto it = list.begin(); it != list.end(); ++it) {
        if ((*it)->m_strName.CompareNoCase(strName) == 0) {
            list.erase(it);
            return TRUE;
        }
    }
    return FALSE;
}
