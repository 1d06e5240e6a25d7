#pragma once
// CQvCustFieldClientCtrl: the custom fields (CustFieldType) of one table and their values
// (CustFieldValue) for one record, shown in a grid of two columns, the field and its value. A
// value edited in the grid is written at once; an emptied value removes its row.
#include "qvgridctrl.h"

class CQvCustFieldClientCtrl : public CQvGridCtrl {
    DECLARE_DYNAMIC(CQvCustFieldClientCtrl)
public:
    explicit CQvCustFieldClientCtrl(CString strCaption = CString());
    ~CQvCustFieldClientCtrl() override;

    // Column widths are kept under the suite's key of the control plus this name.
    void SetRegKeyName(CString strName);
    long SetTableID(long lTableID);
    long SetDBSourceName(CString strSource);
    // Fields without a value are listed too (empty); off lists only the fields that have one.
    void SetShowAllFields(BOOL bShow) { m_bShowAll = bShow; }
    // Values are written as soon as they are edited; off keeps them in the grid only.
    void SetSaveImmediately(BOOL bSave) { m_bSaveImmediately = bSave; }
    // Shows the values of the record (0: none, the grid stays empty).
    HRESULT SetID(long lID);
    // Reads the field definitions and the values again.
    HRESULT RefreshGrid();

    long GetTableID() const { return m_lTableID; }
    long GetID() const { return m_lID; }

protected:
    void PreSubclassWindow() override;
    afx_msg BOOL OnCellChanged(NMHDR* nm, LRESULT* result);
    DECLARE_MESSAGE_MAP()

private:
    HRESULT SaveValue(long lCFTypeID, const CString& strValue);

    CString m_strCaption;
    CString m_strRegKey;
    CString m_strSource;
    long m_lTableID = 0;
    long m_lID = 0;
    BOOL m_bShowAll = FALSE;
    BOOL m_bSaveImmediately = FALSE;
};
