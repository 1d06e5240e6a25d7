#pragma once
// CQvFObjectFactory: the class factory of one creatable class of a module, registered with its
// threading model. Each creatable class declares a nested factory derived from it; the factory
// objects are statics of the module, so they belong to the module that compiles them.
#include "cstring.h"
#include "qvfactory.h"

class CQvFObjectFactory : public COleObjectFactory {
public:
    QV_MODULE_LOCAL CQvFObjectFactory(REFCLSID clsid, CRuntimeClass* pRuntimeClass, BOOL bMultiInstance,
                                      LPCWSTR lpszProgID, LPCWSTR lpszThreadingModel = L"Both")
        : COleObjectFactory(qv::ThisModule(), clsid, pRuntimeClass, bMultiInstance, lpszProgID),
          m_strThreadingModel(lpszThreadingModel ? lpszThreadingModel : L"") {}

    // Registers the class (ProgID, CLSID, in-process server) with its threading model, or removes
    // both keys. TRUE in both directions: a key that cannot be opened is skipped.
    BOOL UpdateRegistry(BOOL bRegister = TRUE) override;

    CString m_strThreadingModel;
};

// The file name a file finder reports for a path that may name the file by another name (a link);
// the path itself when the file cannot be found.
CString QvFFindLongPath(const CString& strPath);
