#pragma once
// CSearchDeviceDlg: the search of devices by their call numbers and addresses in use, with the
// device type as icon and the person who carries the device.
#include "searchdlg.h"

class CSearchDeviceDlg : public CSearchDlg {
    DECLARE_DYNAMIC(CSearchDeviceDlg)
public:
    CSearchDeviceDlg(CString strListKey, CWnd* pParent = nullptr);
    ~CSearchDeviceDlg() override;

    BOOL OnInitDialog() override;
    void SetupColumns() override;
    HRESULT BuildQuery(CString strSearchText, CString& strQuery) override;
    HRESULT FillRow(CQvADORecordset* pRS, CQvListItem** ppItem) override;
    // The columns besides the number that a word is searched in.
    struct WordColumns {
        BOOL bDevice = FALSE, bPerson = FALSE, bStatus = FALSE, bCustFields = FALSE, bMandant = FALSE;
    };
    // The cheap test that goes before each word's own (a word as the statement quotes it).
    static CString WordPrefilter(const CString& strWord, const WordColumns& columns);
    // The same test as a list of the devices that can hold the word, read before the join; for
    // the leading word.
    static CString WordDevices(const CString& strWord, const WordColumns& columns);

protected:
    DECLARE_MESSAGE_MAP()
};
