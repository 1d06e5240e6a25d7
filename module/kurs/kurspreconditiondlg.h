#pragma once
// CKursPreconditionDlg: the precondition rules of a course and their items. In this form the list
// is only shown; the rules are edited in the course window.
#include "qvguid.h"
#include "qvui.h"
#include "vrqkurs.h"

#include <vector>

#define IDC_PRECONDITION_LIST 1001

class CKursPreconditionDlg : public CDialog {
public:
    CKursPreconditionDlg(long lKursID, CQvGUID guidKurs, EAuthorityTyp eTyp, CWnd* pParent = nullptr);

    // One line of the list: the rule's number, its join (rule or item operator), the course and
    // the time limits of the item.
    struct Line {
        CString strOrder;
        CString strOperator;
        CString strKurs;
        CString strLimit;
    };
    const std::vector<Line>& GetLines() const { return m_lines; }
    // Editing is possible only for a course of this installation with its own GUID.
    BOOL IsReadOnly() const { return m_bReadOnly; }

    CListCtrl m_listRules;

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;

private:
    long LoadLines();

    long m_lKursID;
    CQvGUID m_guidKurs;
    EAuthorityTyp m_eTyp;
    BOOL m_bReadOnly = TRUE;
    std::vector<Line> m_lines;
};
