#pragma once
// The document-management server "Qovaro.NQ2.DocMngmt". A record's documents are rows of DocMngmt
// (table id, record id) in the suite's database, each with its file kept in DocImage: adding a
// file stores a copy of it there, so the file the user dropped stays where it is. The documents
// dialog lists the record's documents and marks those taken out for editing.
#include "dialog.h"
#include "docmngmtint.h"
#include "listctrl.h"
#include "serverbase.h"

// Dialog template and controls of the documents dialog.
#define IDD_DOCMNGMT 30100
#define IDC_DOCMNGMT_LIST 1000
#define IDC_DOCMNGMT_COUNT 1001

class CDocMngmtDlg : public CDialog {
public:
    CDocMngmtDlg(long lTableID, long lRecordID, CWnd* pParent = nullptr);
    BOOL OnInitDialog() override;

    // The documents shown, in the list's order.
    struct Document {
        long lDocMngmtID = 0;
        CString strFileName;
        BOOL bTakenOut = FALSE;
    };
    static HRESULT ReadDocuments(long lTableID, long lRecordID, std::vector<Document>& documents);

protected:
    void DoDataExchange(CDataExchange* pDX) override;

    long m_lTableID;
    long m_lRecordID;
    CListCtrl m_list;
};

class CQvDocMngmtServer : public CQvStandInServer {
    DECLARE_DYNCREATE(CQvDocMngmtServer)
public:
    CQvDocMngmtServer();

protected:
    const CLSID& GetServerClassID() const override { return CLSID_DocMngmt; }
    LPCWSTR GetServerProgID() const override { return QVDOCMNGMT_PROGID; }

    BEGIN_INTERFACE_PART(DocMngmt, IDocMngmt)
        HRESULT ShowDialog(long lTableID, long lRecordID, GUID guidFunction, GUID guidObject, BSTR bstrMandant) override;
        HRESULT LinkDocuments(long lTableIDFrom, long lIDFrom, long lTableIDTo, long lIDTo) override;
        HRESULT Reserved5() override;
        HRESULT Reserved6() override;
        HRESULT Reserved7() override;
        HRESULT Reserved8() override;
        HRESULT AddFile(BSTR bstrPath, long lReserved1, long lTableID, long lRecordID, long lReserved2) override;
    END_INTERFACE_PART(DocMngmt)

    DECLARE_INTERFACE_MAP()
};
