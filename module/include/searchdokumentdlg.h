#pragma once
// CSearchDokumentDlg: the search of documents of every Mandant, in the order of their type and
// name, each type under a light-yellow heading row. The list cannot be re-sorted and the search
// has no filter options.
#include "searchdlg.h"

#include <mutex>
#include <unordered_map>
#include <vector>

class CSearchDokumentDlg : public CSearchDlg {
    DECLARE_DYNAMIC(CSearchDokumentDlg)
public:
    CSearchDokumentDlg(CString strListKey, CWnd* pParent = nullptr);
    ~CSearchDokumentDlg() override;

    BOOL OnInitDialog() override;
    void SetupColumns() override;
    HRESULT BuildQuery(CString strSearchText, CString& strQuery) override;
    HRESULT FillRow(CQvADORecordset* pRS, CQvListItem** ppItem) override;

    // The document type of the last heading row of the running search (worker thread).
    CString m_strLastDokumentart;

protected:
    afx_msg LRESULT OnDokumentRow(WPARAM wParam, LPARAM lParam);
    afx_msg void OnDestroy();
    DECLARE_MESSAGE_MAP()

private:
    void DropPendingHeadings();

    // Heading rows made on the worker, by the document row they go before; the GUI thread adds
    // both when the document row arrives, as one search's rows.
    std::mutex m_headingLock;
    std::unordered_map<CQvListItem*, CQvListItem*> m_mapHeadings;
};
