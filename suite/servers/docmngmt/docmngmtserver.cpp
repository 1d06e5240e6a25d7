#include "docmngmtserver.h"
#include "adoint.h"
#include "qvadoconnection.h"
#include "qvadorecordset.h"
#include "qvdblookup.h"
#include "qvhrtrace.h"
#include "resource.h"
#include "utf.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

IMPLEMENT_DYNCREATE(CQvDocMngmtServer, CQvStandInServer)

BEGIN_INTERFACE_MAP(CQvDocMngmtServer, CQvStandInServer)
    INTERFACE_PART(CQvDocMngmtServer, IID_IDocMngmt, DocMngmt)
END_INTERFACE_MAP()

IMPLEMENT_IUNKNOWN(CQvDocMngmtServer, DocMngmt)

namespace {

constexpr const wchar_t* kSource = L"qvdocmngmtserver";
constexpr const wchar_t* kProfile = L"Qovaro.NQ2";

CString Text(BSTR b) { return b ? CString(std::wstring(b, SysStringLen(b))) : CString(); }

HINSTANCE Module() {
    static int tag;
    return reinterpret_cast<HINSTANCE>(&tag);
}

// The documents dialog's template, registered when the server's library is loaded.
const bool g_registered = [] {
    using namespace qv::ui;
    DialogTemplate dlg;
    dlg.id = IDD_DOCMNGMT;
    dlg.caption = L"Dokumente";
    dlg.cx = 300;
    dlg.cy = 170;
    dlg.style = DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU;
    dlg.items = {
        LText(L"", IDC_DOCMNGMT_COUNT, 7, 7, 286, 10),
        Control(L"", IDC_DOCMNGMT_LIST, L"SysListView32",
                LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_BORDER | WS_TABSTOP, 7, 20, 286, 124),
        DefPushButton(L"Schliessen", IDOK, 243, 150, 50, 14),
    };
    RegisterDialogTemplate(Module(), dlg);
    return true;
}();

// The file's bytes; false when it cannot be read.
bool ReadFile(const CString& strPath, std::vector<unsigned char>& bytes) {
    std::ifstream in(std::filesystem::path(qv::ToUtf8(strPath.wstr())), std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// Writes the bytes into DocImage.imgDocument of the row.
long StoreImage(CQvADOConnection& conn, long lDocImageID, const std::vector<unsigned char>& bytes) {
    CString sql;
    sql.Format(L"SELECT lDocImageID, imgDocument FROM DocImage WHERE lDocImageID = %d", lDocImageID);
    CQvADORecordset rs(&conn);
    long hr = rs.OpenSQL(sql, 1, 3);
    BOOL bEOF = TRUE;
    if (SUCCEEDED(hr)) hr = rs.IsEOF(&bEOF);
    if (SUCCEEDED(hr) && bEOF) hr = E_UNEXPECTED;
    if (SUCCEEDED(hr)) {
        SAFEARRAY* sa = SafeArrayCreateVector(VT_UI1, 0, ULONG(bytes.size()));
        void* data = nullptr;
        if (!sa || FAILED(SafeArrayAccessData(sa, &data))) {
            hr = E_OUTOFMEMORY;
        } else {
            if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
            SafeArrayUnaccessData(sa);
            VARIANT value;
            VariantInit(&value);
            value.vt = VT_ARRAY | VT_UI1;
            value.parray = sa;
            COleVariant column(CString(L"imgDocument"));
            hr = rs.m_pRecordset->put_Collect(column, value);
            VariantClear(&value);
            if (SUCCEEDED(hr)) hr = rs.Update();
        }
    }
    rs.Close();
    return hr;
}

}  // namespace

// ---- the documents dialog

CDocMngmtDlg::CDocMngmtDlg(long lTableID, long lRecordID, CWnd* pParent)
    : CDialog(IDD_DOCMNGMT, pParent), m_lTableID(lTableID), m_lRecordID(lRecordID) {}

void CDocMngmtDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_DOCMNGMT_LIST, m_list);
}

HRESULT CDocMngmtDlg::ReadDocuments(long lTableID, long lRecordID, std::vector<Document>& documents) {
    documents.clear();
    CQvADOConnection conn;
    long hr = conn.Open(kProfile, 0);
    CQvADORecordset rs(&conn);
    if (SUCCEEDED(hr)) {
        CString sql;
        sql.Format(L"SELECT d.lDocMngmtID, i.strFileName, i.strEditPath FROM DocMngmt d INNER JOIN DocImage i ON "
                   L"i.lDocImageID = d.lDocImageID WHERE d.lDocMngmtID IN (SELECT lDocMngmtID FROM DocMngmt WHERE %s) "
                   L"ORDER BY i.strFileName, d.lDocMngmtID",
                   DocMngmtRecordCondition(lTableID, lRecordID, FALSE));
        hr = rs.OpenSQL(sql, 0, 1);
    }
    BOOL bEOF = TRUE;
    if (SUCCEEDED(hr)) hr = rs.IsEOF(&bEOF);
    while (SUCCEEDED(hr) && !bEOF) {
        Document doc;
        CString strEditPath;
        hr = rs.GetFieldValue(L"lDocMngmtID", &doc.lDocMngmtID);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strFileName", &doc.strFileName);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strEditPath", &strEditPath);
        if (SUCCEEDED(hr)) {
            doc.bTakenOut = !strEditPath.IsEmpty();
            documents.push_back(doc);
            hr = rs.MoveNext(&bEOF);
        }
    }
    rs.Close();
    if (FAILED(hr)) QvReportDBError(&conn, hr, __FILE__, __LINE__);
    return hr;
}

BOOL CDocMngmtDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    m_list.SetExtendedStyle(LVS_EX_FULLROWSELECT);
    m_list.InsertColumn(0, L"Dokument", LVCFMT_LEFT, 330);
    m_list.InsertColumn(1, L"Status", LVCFMT_LEFT, 150);
    std::vector<Document> documents;
    if (SUCCEEDED(ReadDocuments(m_lTableID, m_lRecordID, documents))) {
        for (std::size_t i = 0; i < documents.size(); ++i) {
            const int nItem = m_list.InsertItem(int(i), documents[i].strFileName);
            m_list.SetItemText(nItem, 1, documents[i].bTakenOut ? L"In Bearbeitung" : L"");
            m_list.SetItemData(nItem, DWORD_PTR(documents[i].lDocMngmtID));
        }
    }
    CString strCount;
    if (documents.size() == 1) strCount = L"Dem Datensatz ist ein Dokument zugeordnet.";
    else strCount.Format(L"Dem Datensatz sind %d Dokumente zugeordnet.", int(documents.size()));
    SetDlgItemText(IDC_DOCMNGMT_COUNT, strCount);
    return TRUE;
}

// ---- the server

CQvDocMngmtServer::CQvDocMngmtServer() = default;

HRESULT CQvDocMngmtServer::XDocMngmt::ShowDialog(long lTableID, long lRecordID, GUID, GUID, BSTR) {
    if (lTableID == 0 || lRecordID == 0) return QV_TRACEHR(kSource, E_INVALIDARG);
    CDocMngmtDlg dlg(lTableID, lRecordID, AfxGetMainWnd());
    return dlg.DoModal() == -1 ? QV_TRACEHR(kSource, E_FAIL) : S_OK;
}

HRESULT CQvDocMngmtServer::XDocMngmt::LinkDocuments(long lTableIDFrom, long lIDFrom, long lTableIDTo, long lIDTo) {
    if (lTableIDFrom == 0 || lTableIDTo == 0) return QV_TRACEHR(kSource, E_INVALIDARG);
    CQvADOConnection conn;
    long hr = conn.Open(kProfile, 0);
    std::vector<long> images;
    if (SUCCEEDED(hr)) {
        CQvADORecordset rs(&conn);
        CString sql;
        sql.Format(L"SELECT lDocImageID FROM DocMngmt WHERE lTableID = %d AND lFkID = %d AND lDocImageID NOT IN "
                   L"(SELECT lDocImageID FROM DocMngmt WHERE lTableID = %d AND lFkID = %d)",
                   lTableIDFrom, lIDFrom, lTableIDTo, lIDTo);
        hr = rs.Open(sql);
        BOOL bEOF = TRUE;
        if (SUCCEEDED(hr)) hr = rs.IsEOF(&bEOF);
        while (SUCCEEDED(hr) && !bEOF) {
            long lImage = 0;
            hr = rs.GetFieldValue(L"lDocImageID", &lImage);
            if (SUCCEEDED(hr)) images.push_back(lImage);
            if (SUCCEEDED(hr)) hr = rs.MoveNext(&bEOF);
        }
        rs.Close();
    }
    for (long lImage : images) {
        if (FAILED(hr)) break;
        long lDocMngmtID = 0;
        hr = conn.GetUniqueID(L"DocMngmt", L"lDocMngmtID", &lDocMngmtID);
        if (SUCCEEDED(hr)) {
            CString sql;
            sql.Format(L"INSERT INTO DocMngmt (lDocMngmtID, lTableID, lFkID, lDocImageID) VALUES (%d, %d, %d, %d)",
                       lDocMngmtID, lTableIDTo, lIDTo, lImage);
            hr = conn.Execute(sql);
        }
    }
    return FAILED(hr) ? QV_TRACEHR(kSource, hr) : S_OK;
}
HRESULT CQvDocMngmtServer::XDocMngmt::Reserved5() { return E_NOTIMPL; }
HRESULT CQvDocMngmtServer::XDocMngmt::Reserved6() { return E_NOTIMPL; }
HRESULT CQvDocMngmtServer::XDocMngmt::Reserved7() { return E_NOTIMPL; }
HRESULT CQvDocMngmtServer::XDocMngmt::Reserved8() { return E_NOTIMPL; }

HRESULT CQvDocMngmtServer::XDocMngmt::AddFile(BSTR bstrPath, long, long lTableID, long lRecordID, long) {
    const CString strPath = Text(bstrPath);
    if (strPath.IsEmpty() || lTableID == 0 || lRecordID == 0) return QV_TRACEHR(kSource, E_INVALIDARG);
    std::error_code ec;
    const std::filesystem::path path(qv::ToUtf8(strPath.wstr()));
    if (!std::filesystem::is_regular_file(path, ec)) return QV_TRACEHR(kSource, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    std::vector<unsigned char> bytes;
    if (!ReadFile(strPath, bytes)) return QV_TRACEHR(kSource, HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));

    CQvADOConnection conn;
    long hr = conn.Open(kProfile, 0);
    long lDocImageID = 0, lDocMngmtID = 0;
    bool bTrans = false;
    if (SUCCEEDED(hr)) hr = conn.BeginTrans();
    bTrans = SUCCEEDED(hr);
    if (SUCCEEDED(hr)) hr = conn.GetUniqueID(L"DocImage", L"lDocImageID", &lDocImageID);
    if (SUCCEEDED(hr)) hr = conn.GetUniqueID(L"DocMngmt", L"lDocMngmtID", &lDocMngmtID);
    if (SUCCEEDED(hr)) {
        CString sql;
        sql.Format(L"INSERT INTO DocImage (lDocImageID, strFileName) VALUES (%d, '%s')", lDocImageID,
                   QvSQLString(CString(qv::FromUtf8(path.filename().string())), 0));
        hr = conn.Execute(sql);
    }
    if (SUCCEEDED(hr)) hr = StoreImage(conn, lDocImageID, bytes);
    if (SUCCEEDED(hr)) {
        CString sql;
        sql.Format(L"INSERT INTO DocMngmt (lDocMngmtID, lTableID, lFkID, lDocImageID) VALUES (%d, %d, %d, %d)",
                   lDocMngmtID, lTableID, lRecordID, lDocImageID);
        hr = conn.Execute(sql);
    }
    if (bTrans) {
        if (SUCCEEDED(hr)) hr = conn.CommitTrans();
        else conn.RollbackTrans();
    }
    return FAILED(hr) ? QV_TRACEHR(kSource, hr) : S_OK;
}

// The documents dialog lives in this library: it stays loaded.
QV_STANDIN_SERVER_EXPORTS(CLSID_DocMngmt, CQvDocMngmtServer, QVDOCMNGMT_PROGID, S_FALSE)
