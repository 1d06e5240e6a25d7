#pragma once
// The document icon of a record view's header: how many documents of the suite's document store
// belong to the shown record, whether this user has documents out for editing, the documents
// dialog on a click, and files dropped on it added to the record's documents.
#include "dragdrop.h"
#include "qvguid.h"
#include "qvsec.h"
#include "statusiconedit.h"

class CDropTargetThread;
class CStatusIconDocMngmt;

enum : UINT {
    IDB_NQ_DOC_NONE = 11438,
    IDB_NQ_DOC_ONE = 11439,
    IDB_NQ_DOC_MANY = 11440,
    IDB_NQ_DOC_ONE_EDITING = 11447,
    IDB_NQ_DOC_MANY_EDITING = 11448,
    IDB_NQ_DOC_NONE_EDITING = 11449,

    IDS_NQ_DOC_NONE = 10614,
    IDS_NQ_DOC_ONE = 10615,
    IDS_NQ_DOC_MANY = 10616,
    IDS_NQ_DOC_NONE_EDITING = 10617,
    IDS_NQ_DOC_ONE_EDITING = 10618,
    IDS_NQ_DOC_MANY_EDITING = 10619,
};

// The right a user needs on a record to add documents by dropping files.
#define NQ_DOC_DROP_RIGHT 0x100u

class CStatusIconDocMngmt : public CStaticBmpTransp {
    DECLARE_DYNAMIC(CStatusIconDocMngmt)
public:
    CStatusIconDocMngmt();

    void SetRecord(long lTableID, long lRecordID, CString strMandant);
    void SetStatus(long lRecordID, CString strMandant);
    void Refresh();
    void LoadRights();
    void ShowDialog();

    BOOL m_bShowBitmap = TRUE;
    BOOL m_bEnabled = TRUE;
    long m_lTableID = 39;
    long m_lRecordID = 0;
    UINT m_nBitmapID = 0;
    CQvGUID m_guidFunction;
    CQvGUID m_guidObject;
    CString m_strMandant;
    CQvSec m_Sec;
    CDropTargetThread* m_pDropThread = nullptr;
};

class CDocMngmtDropTarget : public COleDropTarget {
public:
    DROPEFFECT OnDragEnter(CWnd* pWnd, COleDataObject* pDataObject, DWORD dwKeyState, CPoint point) override;
    DROPEFFECT OnDragOver(CWnd* pWnd, COleDataObject* pDataObject, DWORD dwKeyState, CPoint point) override;
    BOOL OnDrop(CWnd* pWnd, COleDataObject* pDataObject, DROPEFFECT dropEffect, CPoint point) override;

    CStatusIconDocMngmt* m_pIcon = nullptr;
    long m_lTableID = 0;
    long m_lRecordID = 0;
};

// Stands on the document icon's window inside the drop thread, carrying the drop target.
class CDropTargetWnd : public CWnd {
public:
    CDocMngmtDropTarget m_dropTarget;
};

namespace qv::nq {
// The count statement of a record's documents as the icon reads it.
CString DocumentCountStatement(long lTableID, long lRecordID, BOOL bWithJournal);
// The statement counting the documents taken out for editing under this owner tag.
CString TakenOutCountStatement(const CString& strOwnerTag);
// The picture and tool tip for the counts.
void DocumentLook(long lDocuments, long lTakenOut, UINT& nBitmapID, UINT& nToolTipID);
// A path with a short name part ("~" after its first character) in its long form when the file is
// found; any other path unchanged.
CString LongPathName(const CString& strPath);
}  // namespace qv::nq
