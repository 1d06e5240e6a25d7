#pragma once
// CKursPreconditionDlg: the precondition rules of a course and their items. A course of this
// installation (or any course in the central installation) with its own GUID is edited here under
// the user's rights; otherwise, and when the course API shows the rules to explain a refusal, the
// list is only shown.
#include "nqpopupdialog.h"
#include "qvguid.h"
#include "qvui.h"
#include "vrqkurs.h"

#include <vector>

#define IDC_PRECONDITION_LIST 1001
#define IDC_PRECONDITION_RULEOP 1010
#define IDC_PRECONDITION_ITEMOP 1011
#define IDC_PRECONDITION_KURS 1012
#define IDC_PRECONDITION_LIMIT 1013
#define IDC_PRECONDITION_MAXYEAR 1014
#define IDC_PRECONDITION_LOCKYEAR 1015
#define IDC_PRECONDITION_NEWRULE 1020
#define IDC_PRECONDITION_NEWITEM 1021
#define IDC_PRECONDITION_APPLY 1022
#define IDC_PRECONDITION_DELETE 1023
#define IDC_PRECONDITION_HELP 1159

class CKursPreconditionDlg : public CNQPopupDialog {
public:
    CKursPreconditionDlg(long lKursID, CQvGUID guidKurs, EAuthorityTyp eTyp, CWnd* pParent = nullptr);

    // One line of the list: the rule's number, its join (rule or item operator), the course and
    // the time limits of the item; the ids and values behind them.
    struct Line {
        CString strOrder;
        CString strOperator;
        CString strKurs;
        CString strLimit;
        long lRuleID = 0;
        long lItemID = 0;
        long lOrder = 0;
        long lRuleOperator = 0;
        long lItemOperator = 1;
        long lKursID = 0;
        long lMaxYear = -1;
        long lLockYear = -1;
        bool bFirstOfRule = false;
    };
    const std::vector<Line>& GetLines() const { return m_lines; }
    // Read-only: a course of another installation, a course without GUID, or no edit right.
    BOOL IsReadOnly() const { return m_bReadOnly; }

    // The item's year limits for a choice of the time-limit box (index) and the two year fields; the
    // index of a pair (-1 for a pair no choice gives).
    static long LimitIndex(long lMaxYear, long lLockYear);
    // 0 when the choice with its years is a window a person can fall in, else the id of the message
    // that says what is wrong.
    static UINT CheckLimit(int nIndex, long lYearsN, long lYearsM, long& lMaxYear, long& lLockYear);
    // The operator stored for a rule at the place lOrder when the user chose lChoice (1 AND, 2 OR,
    // 3 AND NOT).
    static long StoredRuleOperator(long lOrder, long lChoice);

    CListCtrl m_listRules;

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;

    void OnItemChangedList(NMHDR* pNMHDR, LRESULT* pResult);
    void OnSelChangeLimit();
    void OnNewRule();
    void OnNewItem();
    void OnApply();
    void OnDelete();
    DECLARE_MESSAGE_MAP()

private:
    long LoadLines();
    long LoadKurse();
    void FillList(int nSelect);
    void ShowLine(int nLine);
    void EnableControls();
    int SelectedLine() const;
    // Reads and checks the item fields; FALSE after the message.
    BOOL ReadItem(long& lKursID, long& lMaxYear, long& lLockYear);
    long RuleOperatorChoice() const;
    long ItemOperatorChoice() const;
    void FillRuleOperators();
    // Runs the statements in one transaction, then logs the change under the course and tells the
    // other windows; reloads the list and selects the line of the item (or the first line).
    long Write(const std::vector<CString>& statements, long lKind, UINT nLogCode, const CString& strDetail,
               long lSelectItemID);
    CString KursText(long lKursID) const;

    long m_lKursID;
    CQvGUID m_guidKurs;
    EAuthorityTyp m_eTyp;
    BOOL m_bReadOnly = TRUE;
    std::vector<Line> m_lines;
    std::vector<std::pair<long, CString>> m_kurse;
    CComboBox m_cbRuleOp, m_cbItemOp, m_cbKurs, m_cbLimit;
};
