#pragma once
// CQvGUID: a GUID that may be null (all zero), with the two text forms of the suite: for SQL,
// security keys and the data logger upper case without braces (GetGUID(TRUE)), for display and
// the console echo with braces (GetGUID(FALSE)).
#include "cstring.h"
#include "guid.h"

class CQvGUID {
public:
    CQvGUID() = default;  // null
    CQvGUID(const GUID& guid) : m_guid(guid) {}
    // Either text form, any case; text that is no GUID gives the null GUID.
    explicit CQvGUID(LPCWSTR lpszGUID);

    // S_OK when set. Empty or blank text sets the null GUID; text that is no GUID returns
    // E_INVALIDARG and leaves the value as it was.
    HRESULT SetGUID(LPCWSTR lpszGUID);
    void SetGUID(const GUID& guid) { m_guid = guid; }
    void SetNULL() { m_guid = GUID_NULL; }
    BOOL IsNULL() const { return m_guid == GUID_NULL; }
    // A new random GUID; S_OK.
    HRESULT NewGUID();

    CString GetGUID(BOOL bPlain) const;
    const GUID& GetValue() const { return m_guid; }
    operator const GUID&() const { return m_guid; }

    friend bool operator==(const CQvGUID& a, const CQvGUID& b) { return a.m_guid == b.m_guid; }
    friend bool operator!=(const CQvGUID& a, const CQvGUID& b) { return !(a == b); }
    friend bool operator<(const CQvGUID& a, const CQvGUID& b) { return a.m_guid < b.m_guid; }

private:
    GUID m_guid{};
};
