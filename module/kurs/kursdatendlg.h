#pragma once
// CKursdatenDlg: the page "Kursdaten" of the course window: the descriptive data of the current
// course, its internal remark (the course's own Kursbemerkung row) and the way to its precondition
// rules. Courses of this installation, or any course in the central installation, are edited here
// under the page's rights; the course row is locked while it is edited.
#include "kurschilddlg.h"
#include "qvfobjectfactory.h"

inline constexpr CLSID CLSID_KursdatenDlg = qv::MakeGuid("846E7084-FDEC-4A62-83E0-CDFF378C63E8");

class CKursdatenDlg : public CKursChildDlg {
    DECLARE_DYNCREATE(CKursdatenDlg)
public:
    CKursdatenDlg();

    HRESULT GetClassID(GUID* pClsid) override;
    HRESULT LoadData() override;
    void GetStoredStateStatements(std::vector<std::pair<CString, long>>& statements) override;
    HRESULT Refresh() override;
    HRESULT SaveData() override;

    // Whether the course may be changed here (before the rights).
    BOOL IsOwnKurs() const;

    CString m_strKurzbezeichnung;
    CString m_strBezeichnung;
    CString m_strBemerkung;
    CString m_strZielpublikum;
    CString m_strKursziel;
    CString m_strTenu;
    CString m_strMaterial;
    CString m_strBemerkungIntern;
    CString m_strOverbook;
    CString m_strTyp;
    BOOL m_bActive = TRUE;
    BOOL m_bMulti = FALSE;

    class CKursdatenDlgFactory : public CQvFObjectFactory {
    public:
        using CQvFObjectFactory::CQvFObjectFactory;
    };

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    void OnChanged();
    void OnChangedRange(UINT nID);
    void OnPrecondition();
    DECLARE_MESSAGE_MAP()

private:
    HRESULT LoadKurs();
    // Empties the fields; bActive: the flag "Aktiv" as a new course has it.
    void ClearFields(BOOL bActive);
    void SecurePage();

    BOOL m_bLoading = FALSE;
};
