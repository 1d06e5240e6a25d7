#pragma once
// The document-management server "Qovaro.NQ2.DocMngmt": the documents of the suite's document
// store attached to records (DocMngmt: table id and record id; DocImage: the file).
#include "cstring.h"
#include "qvcom.h"

#define QVDOCMNGMT_PROGID L"Qovaro.NQ2.DocMngmt"

// Table ids of the document store that need more than their own rows.
#define QVDOCMNGMT_TABLE_ORGANISATION 63
#define QVDOCMNGMT_TABLE_KONTO 999
#define QVDOCMNGMT_TABLE_ARTIKEL 20

struct IDocMngmt : IUnknown {
    // Shows the documents dialog of a record; returns when the user closed it.
    virtual HRESULT ShowDialog(long lTableID, long lRecordID, GUID guidFunction, GUID guidObject,
                               BSTR bstrMandant) = 0;  // 3
    // The documents of one record are attached to another as well (same files, new rows); those
    // the target has already are skipped.
    virtual HRESULT LinkDocuments(long lTableIDFrom, long lIDFrom, long lTableIDTo, long lIDTo) = 0;  // 4
    // Operations of the document store that the module does not call.
    virtual HRESULT Reserved5() = 0;
    virtual HRESULT Reserved6() = 0;
    virtual HRESULT Reserved7() = 0;
    virtual HRESULT Reserved8() = 0;
    // Adds a copy of the file to the record's documents; the file itself stays where it is. The
    // two reserved values are 0.
    virtual HRESULT AddFile(BSTR bstrPath, long lReserved1, long lTableID, long lRecordID, long lReserved2) = 0;  // 9
};

inline constexpr IID IID_IDocMngmt = qv::MakeGuid("d36b14dd-b567-44a1-925b-55d8e7b64ee3");
inline constexpr CLSID CLSID_DocMngmt = qv::MakeGuid("5E0C3B7A-9D41-4C2E-8F6B-2A7D1E93C4B8");

// The condition on DocMngmt that selects a record's documents. An organisation has the documents
// of every organisation row sharing its GUID, an account those of every account row sharing its
// GUID, and an article, with bWithJournal, also those of its journal entries (tables 35 and 51).
inline CString DocMngmtRecordCondition(long lTableID, long lRecordID, BOOL bWithJournal) {
    CString sql;
    if (lTableID == QVDOCMNGMT_TABLE_ORGANISATION) {
        sql.Format(L"lTableID = 63 AND lFkID IN (SELECT lOrganisationID FROM Organisation WHERE guidID = "
                   L"(SELECT guidID FROM Organisation WHERE lOrganisationID = %d))",
                   lRecordID);
    } else if (lTableID == QVDOCMNGMT_TABLE_KONTO) {
        // An account's documents are filed under the account's own table id, never under 63.
        sql.Format(L"lTableID = 999 AND lFkID IN (SELECT lKontoID FROM Konto WHERE guidID = "
                   L"(SELECT guidID FROM Konto WHERE lKontoID = %d))",
                   lRecordID);
    } else if (lTableID == QVDOCMNGMT_TABLE_ARTIKEL && bWithJournal) {
        sql.Format(L"(lTableID = 20 AND lFkID = %d) "
                   L"OR (lTableID = 35 AND lFKID IN (SELECT lArtikeljournalID FROM Artikeljournal WHERE lArtikelID = %d)) "
                   L"OR (lTableID = 51 AND lFKID IN (SELECT lWartungsjournalID FROM Wartungsjournal WHERE lArtikelID = %d))",
                   lRecordID, lRecordID, lRecordID);
    } else {
        sql.Format(L"lTableID = %d AND lFkID = %d", lTableID, lRecordID);
    }
    return sql;
}

// The statement that counts a record's documents into the column lCount.
inline CString DocMngmtCountStatement(long lTableID, long lRecordID, BOOL bWithJournal) {
    return L"SELECT count(*) AS lCount FROM DocMngmt WHERE " + DocMngmtRecordCondition(lTableID, lRecordID, bWithJournal);
}
