#include "statusicondocmngmt.h"

#include "docmngmtint.h"
#include "lockdbrecord.h"
#include "nqcommon.h"
#include "nqframeworkres.h"
#include "optionserver.h"
#include "qvadoconnection.h"
#include "qvadorecordset.h"
#include "qvcomserver.h"
#include "qvdblookup.h"
#include "qvhrtrace.h"
#include "qvinteract.h"
#include "qtwidget.h"
#include "resource.h"
#include "strtable.h"
#include "utf.h"

#include <QImage>
#include <QPainter>
#include <QWidget>

#include <filesystem>

#define DOCICON_TRACEHR(hr) QvAddHRErrorFile(L"statusicondocmngmt", __LINE__, (hr))

IMPLEMENT_DYNAMIC(CStatusIconDocMngmt, CStaticBmpTransp)

namespace {

constexpr const wchar_t* kProfile = L"Qovaro.NQ2";

// A sheet of paper on a key-coloured ground: one sheet, a stack for several, an empty frame for
// none; a pencil over it when this user has documents out for editing.
QImage DocumentBitmap(UINT id) {
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(QColor(255, 0, 255));
    QPainter p(&image);
    const bool editing = id == IDB_NQ_DOC_NONE_EDITING || id == IDB_NQ_DOC_ONE_EDITING || id == IDB_NQ_DOC_MANY_EDITING;
    const bool none = id == IDB_NQ_DOC_NONE || id == IDB_NQ_DOC_NONE_EDITING;
    const bool many = id == IDB_NQ_DOC_MANY || id == IDB_NQ_DOC_MANY_EDITING;
    auto sheet = [&](int x, int y) {
        p.setPen(QColor(0x40, 0x40, 0x40));
        p.setBrush(none ? QColor(255, 0, 255) : QColor(0xFF, 0xFF, 0xF0));
        p.drawRect(x, y, 8, 10);
        if (!none) {
            p.setPen(QColor(0x30, 0x60, 0xB0));
            for (int line = 0; line < 3; ++line) p.drawLine(x + 2, y + 3 + 2 * line, x + 6, y + 3 + 2 * line);
        }
    };
    if (many) sheet(6, 1);
    sheet(3, 4);
    if (editing) {
        p.setPen(QColor(0x20, 0x20, 0x20));
        p.setBrush(QColor(0xF0, 0xC0, 0x20));
        const QPoint pencil[] = {{9, 15}, {10, 12}, {14, 8}, {15, 9}, {11, 14}};
        p.drawPolygon(pencil, 5);
    }
    return image;
}

const bool g_registered = [] {
    const HINSTANCE module = NQFrameworkModuleHandle();
    qv::RegisterStringTable(module, {
        {IDS_NQ_DOC_NONE, L"Öffnet die Dokumentenverwaltung.\nEs ist kein Dokument dem Datensatz zugeordnet."},
        {IDS_NQ_DOC_ONE, L"Öffnet die Dokumentenverwaltung.\nEs ist ein Dokument dem Datensatz zugeordnet."},
        {IDS_NQ_DOC_MANY, L"Öffnet die Dokumentenverwaltung.\nEs sind mehrere Dokumente dem Datensatz zugeordnet."},
        {IDS_NQ_DOC_NONE_EDITING, L"Öffnet die Dokumentenverwaltung.\nEs ist kein Dokument dem Datensatz "
                                  L"zugeordnet.\nMindestens ein Dokument befindet sich in Bearbeitung."},
        {IDS_NQ_DOC_ONE_EDITING, L"Öffnet die Dokumentenverwaltung.\nEs ist ein Dokument dem Datensatz "
                                 L"zugeordnet.\nMindestens ein Dokument befindet sich in Bearbeitung."},
        {IDS_NQ_DOC_MANY_EDITING, L"Öffnet die Dokumentenverwaltung.\nEs sind mehrere Dokumente dem Datensatz "
                                  L"zugeordnet.\nMindestens ein Dokument befindet sich in Bearbeitung."},
    });
    for (UINT id : {IDB_NQ_DOC_NONE, IDB_NQ_DOC_ONE, IDB_NQ_DOC_MANY, IDB_NQ_DOC_ONE_EDITING, IDB_NQ_DOC_MANY_EDITING,
                    IDB_NQ_DOC_NONE_EDITING})
        qv::ui::RegisterBitmap(module, id, DocumentBitmap(id));
    return true;
}();

CLIPFORMAT FileNameFormat() { return CLIPFORMAT(RegisterClipboardFormat(L"FileNameW")); }

}  // namespace

namespace qv::nq {

CString DocumentCountStatement(long lTableID, long lRecordID, BOOL bWithJournal) {
    return DocMngmtCountStatement(lTableID, lRecordID, bWithJournal);
}

CString TakenOutCountStatement(const CString& strOwnerTag) {
    CString strSQL;
    strSQL.Format(L"SELECT count(*) AS lCount FROM DocImage WHERE strEditPath <> '' AND %s",
                  OwnerCondition(strOwnerTag));
    return strSQL;
}

void DocumentLook(long lDocuments, long lTakenOut, UINT& nBitmapID, UINT& nToolTipID) {
    static constexpr UINT kLooks[2][3][2] = {
        {{IDB_NQ_DOC_NONE, IDS_NQ_DOC_NONE}, {IDB_NQ_DOC_ONE, IDS_NQ_DOC_ONE}, {IDB_NQ_DOC_MANY, IDS_NQ_DOC_MANY}},
        {{IDB_NQ_DOC_NONE_EDITING, IDS_NQ_DOC_NONE_EDITING},
         {IDB_NQ_DOC_ONE_EDITING, IDS_NQ_DOC_ONE_EDITING},
         {IDB_NQ_DOC_MANY_EDITING, IDS_NQ_DOC_MANY_EDITING}},
    };
    const int nCount = lDocuments == 0 ? 0 : lDocuments == 1 ? 1 : 2;
    const int nEditing = lTakenOut != 0 ? 1 : 0;
    nBitmapID = kLooks[nEditing][nCount][0];
    nToolTipID = kLooks[nEditing][nCount][1];
}

CString LongPathName(const CString& strPath) {
    if (strPath.Find(L'~') <= 0) return strPath;
    std::error_code ec;
    const std::filesystem::path path(qv::ToUtf8(strPath.wstr()));
    if (!std::filesystem::exists(path, ec)) return strPath;
    const std::filesystem::path full = std::filesystem::canonical(path, ec);
    return ec ? strPath : CString(qv::FromUtf8(full.string()).c_str());
}

}  // namespace qv::nq

CStatusIconDocMngmt::CStatusIconDocMngmt() {
    m_guidFunction.SetNULL();
    m_guidObject.SetNULL();
}

void CStatusIconDocMngmt::SetRecord(long lTableID, long lRecordID, CString strMandant) {
    if (!m_bEnabled) {
        if (GetSafeHwnd()) ShowWindow(SW_HIDE);
        return;
    }
    m_lTableID = lTableID;
    SetStatus(lRecordID, strMandant);
}

void CStatusIconDocMngmt::SetStatus(long lRecordID, CString strMandant) {
    if (!m_bEnabled) {
        if (GetSafeHwnd()) ShowWindow(SW_HIDE);
        return;
    }
    m_lRecordID = lRecordID;
    m_strMandant = strMandant;
    long lDocuments = 0, lTakenOut = 0;
    long hr = S_OK;
    if (lRecordID != 0) {
        long lWithJournal = 0;
        if (m_lTableID == QVDOCMNGMT_TABLE_ARTIKEL) {
            COptionServer options;
            options.GetOption(-2020, L"ShowJournalWithArtikel", &lWithJournal, 1, 0);
        }
        CQvADOConnection connection;
        hr = connection.Open(kProfile, 0);
        if (SUCCEEDED(hr)) {
            CQvADORecordset rs(&connection);
            hr = rs.OpenSQL(qv::nq::DocumentCountStatement(m_lTableID, lRecordID, lWithJournal != 0), 0, 1);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lCount", &lDocuments);
            rs.Close();
        }
        if (SUCCEEDED(hr)) {
            CLockDbRecord lock;
            CQvADORecordset rs(&connection);
            hr = rs.OpenSQL(qv::nq::TakenOutCountStatement(lock.m_strOwnerTag), 0, 1);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lCount", &lTakenOut);
            rs.Close();
        }
        // The database's report is the one of this failure; the icon shows no documents.
        if (FAILED(hr)) QvReportDBError(connection, DOCICON_TRACEHR(hr), __FILE__, __LINE__);
    }

    UINT nBitmapID = 0, nToolTipID = 0;
    qv::nq::DocumentLook(lDocuments, lTakenOut, nBitmapID, nToolTipID);
    if (m_bShowBitmap) {
        m_bitmap.DeleteObject();
        m_bitmap.Attach(::LoadBitmap(NQFrameworkModuleHandle(), MAKEINTRESOURCE(nBitmapID)));
        ShowBitmap();
    }
    m_strToolTip = NQLoadString(nToolTipID);
    m_nBitmapID = nBitmapID;
    if (QWidget* pWidget = qv::ui::WidgetOf(GetSafeHwnd()))
        pWidget->setToolTip(m_bShowBitmap ? QString::fromStdWString(m_strToolTip.wstr()) : QString());
}

void CStatusIconDocMngmt::Refresh() { SetStatus(m_lRecordID, m_strMandant); }

void CStatusIconDocMngmt::LoadRights() {
    if (m_lTableID == 45) {
        CQvGUID guidNone;
        guidNone.SetNULL();
        m_Sec.LoadRights(m_guidFunction, guidNone, m_strMandant);
    } else if (m_lTableID == 39 || m_lTableID == 42) {
        m_Sec.LoadRights(m_guidFunction);
        if (NQ_IsEnterpriseEdition()) {
            CString strName, strUserID;
            long lUserID = 0, lRight = 0;
            long hr = m_Sec.GetUser(&strName, &strUserID, &lUserID);
            if (SUCCEEDED(hr)) {
                CString strCondition;
                strCondition.Format(m_lTableID == 39 ? L"lKursID = %d AND lQvSecUserID = %d"
                                                     : L"lKursinstanzID = %d AND lQvSecUserID = %d",
                                    m_lRecordID, lUserID);
                hr = QvDBLookupLong(L"lRight", L"SecKurs", strCondition, &lRight, kProfile);
            }
            if (FAILED(hr)) {
                DOCICON_TRACEHR(hr);
                lRight = 0;
            }
            m_Sec &= DWORD(lRight);
        }
    } else if (!m_guidObject.IsNULL()) {
        m_Sec.LoadRights(m_guidFunction, m_guidObject, m_strMandant);
    } else {
        m_Sec.LoadRights(m_guidFunction);
    }
}

void CStatusIconDocMngmt::ShowDialog() {
    if (!m_bEnabled || !m_bShowBitmap || m_lTableID == 0 || m_lRecordID == 0) return;
    IDocMngmt* pServer = nullptr;
    HRESULT hr = QueryCOMServer(QVDOCMNGMT_PROGID, IID_IDocMngmt, reinterpret_cast<void**>(&pServer));
    BSTR bstrMandant = nullptr;
    if (SUCCEEDED(hr)) {
        bstrMandant = m_strMandant.AllocSysString();
        hr = pServer->ShowDialog(m_lTableID, m_lRecordID, m_guidFunction, m_guidObject, bstrMandant);
    }
    SysFreeString(bstrMandant);
    Refresh();
    if (pServer) pServer->Release();
    if (FAILED(hr)) {
        DOCICON_TRACEHR(hr);
        QvReportMsg(1, CrackHR(hr), L"CStatusIconDocMngmt::ShowDialog", L"Default", __FILE__, __LINE__, 1);
    }
}

// ---- the drop target

DROPEFFECT CDocMngmtDropTarget::OnDragEnter(CWnd*, COleDataObject*, DWORD, CPoint) {
    if (m_pIcon) {
        m_lTableID = m_pIcon->m_lTableID;
        m_lRecordID = m_pIcon->m_lRecordID;
    }
    return DROPEFFECT_NONE;
}

DROPEFFECT CDocMngmtDropTarget::OnDragOver(CWnd*, COleDataObject* pDataObject, DWORD, CPoint) {
    if (!m_pIcon) return DROPEFFECT_NONE;
    m_pIcon->LoadRights();
    if (!pDataObject || m_lTableID == 0 || m_lRecordID == 0 || !m_pIcon->m_Sec.HasAllRights(NQ_DOC_DROP_RIGHT))
        return DROPEFFECT_NONE;
    if (!pDataObject->IsDataAvailable(FileNameFormat())) return DROPEFFECT_NONE;
    // The store keeps a copy of the file: a move (Shift) would have the source delete the file
    // the user dropped, so every drop is a copy.
    return DROPEFFECT_COPY;
}

BOOL CDocMngmtDropTarget::OnDrop(CWnd*, COleDataObject* pDataObject, DROPEFFECT dropEffect, CPoint) {
    if (!pDataObject || !pDataObject->IsDataAvailable(FileNameFormat())) return FALSE;
    CString strPath;
    if (HGLOBAL hData = pDataObject->GetGlobalData(FileNameFormat())) {
        if (const auto* pText = static_cast<const wchar_t*>(GlobalLock(hData))) strPath = pText;
        GlobalUnlock(hData);
        GlobalFree(hData);
    }
    strPath = qv::nq::LongPathName(strPath);

    IDocMngmt* pServer = nullptr;
    HRESULT hr = QueryCOMServer(QVDOCMNGMT_PROGID, IID_IDocMngmt, reinterpret_cast<void**>(&pServer));
    BSTR bstrPath = nullptr;
    if (SUCCEEDED(hr) && (dropEffect & (DROPEFFECT_COPY | DROPEFFECT_MOVE))) {
        bstrPath = strPath.AllocSysString();
        hr = pServer->AddFile(bstrPath, 0, m_lTableID, m_lRecordID, 0);
    }
    SysFreeString(bstrPath);
    if (pServer) pServer->Release();
    if (FAILED(hr)) {
        DOCICON_TRACEHR(hr);
        return FALSE;
    }
    if (m_pIcon) m_pIcon->SetStatus(m_pIcon->m_lRecordID, m_pIcon->m_strMandant);
    m_lTableID = 0;
    m_lRecordID = 0;
    return TRUE;
}
