#pragma once
// CQvSec: the logged-in user's rights, as the security server gives them, for a function, an
// object with a key, or both (then combined). A mask of 0, or one with the top bit set, means no
// rights. Built on the stack for one test, or held by a window that applies its rights.
#include "cstring.h"
#include "oleauto.h"
#include "qvguid.h"
#include "qvobject.h"
#include "qvsecint.h"

class CWnd;

class CQvSec : public CObject {
public:
    CQvSec();
    ~CQvSec() override;

    // Finds the host frame's security server; no limit of attempts.
    long Connect();

    // Each sets what is loaded and returns the result of the load. The rights are 0 from the start
    // of every load, so a failed load leaves no rights.
    long LoadRights(CQvGUID guidFunction);
    long LoadRights(CQvGUID guidFunction, CQvGUID guidObject, CString strKey);
    long LoadRights(CQvGUID guidObject, CString strKey);
    // The object and key load under the name some callers know it by.
    long LoadObjectRights(CQvGUID guidObject, CString strKey) { return LoadRights(guidObject, strKey); }

    // A non-zero mask: every bit (HasAllRights) or one bit (HasAnyRight) of it is held. Mask 0:
    // the user has no rights (the rights read as a signed number are 0 or negative).
    BOOL HasAllRights(DWORD dwMask) const { return HasAllRights(dwMask, m_dwRights); }
    BOOL HasAnyRight(DWORD dwMask) const { return HasAnyRight(dwMask, m_dwRights); }
    static BOOL HasAllRights(DWORD dwMask, DWORD dwRights);
    static BOOL HasAnyRight(DWORD dwMask, DWORD dwRights);
    // No rights: 0, or exactly the top bit, which is what a combined load yields for a refusal.
    static BOOL HasNoRights(DWORD dwRights) { return dwRights == 0 || dwRights == 0x80000000u; }

    CQvSec& operator&=(DWORD dwMask);
    CQvSec& operator&=(const CQvSec& other);
    CQvSec& operator|=(DWORD dwMask);

    DWORD GetRights() const { return m_dwRights; }

    // The logged-in user's name, user id text and number (lQvSecUserID). The texts are set in every
    // case (empty on failure); the number only when the server answered.
    long GetUser(CString* pstrName, CString* pstrUserID, long* plUserID);

    // Registers an object at the security server and grants the logged-in user the mask on it.
    static long SetRights(CString strObjectKey, CString strKey2, CQvGUID guidFunction, CString strName, DWORD dwMask);

    // Applies the rights to a control (these two live in the library qvsecctrl, with the windows).
    // Show mode 3 hides, 2 shows, any other hides without rights; edit mode 3 makes read-only, 2
    // editable, any other read-only without rights or when a bit of the mask is missing. Plain
    // controls are only enabled or disabled; otherwise lists, spin buttons with their buddies,
    // edits and check lists get the kind of read-only that suits them.
    void EnableControl(CWnd* pWnd, long nShow, long nEdit, DWORD dwMask, bool bPlain);
    void EnableDlgItem(CWnd* pParent, int nID, long nShow, long nEdit, DWORD dwMask, bool bPlain);

    long ShowRightDlg(CQvGUID guidObject, long lFlag);
    long ShowSetRightDlg(CQvGUID guidObject, CString strKey, long lFlag);

    CQvGUID m_guidFunction;
    CQvGUID m_guidObject;
    CString m_strKey;
    IQvSecServer* m_pServer = nullptr;
    DWORD m_dwRights = 0;

private:
    long Load();
};
