#pragma once
// CKursChildDlg: the base of the course window's pages. It keeps the course context of the
// window's current course and run (ids, GUIDs, type, active flag, the user's course rights and the
// run's leader), loads the page's rights under the course rules and guards the controls by them,
// and reloads the page when the bookings of its course changed elsewhere. It also holds what the
// run pages do alike: the statement, rows and status counts of their booking lists, their layout
// and role menu, following a list's selection, opening a person from a link, and the steps of
// their commands (picking and booking persons, editing, re-statusing and removing a booking,
// picking the run a booking moves to, announcing the change).
#include "childdlg.h"
#include "oledate.h"
#include "olevariant.h"
#include "qvasynceventsink.h"

#include <functional>
#include <initializer_list>
#include <vector>

struct INQLogicServer;
struct NMLISTVIEW;
class CQvADOConnection;
class CQvADORecordset;
class CVRQKurs;
class CQvListCtrl;
class CQvListItem;
class CQvListItemArray;

// The person a run page's list shows for a booking, read from a statement that selects
// CKursChildDlg::kPersonColumns from CKursChildDlg::kPersonFrom, with the person's rank today.
struct CKursPersonRow {
    long lPersonID = 0;
    long lStatus = 0;
    BOOL bWeiblich = FALSE;
    CString strPerson, strAdresse, strOrt, strSprache, strMandant;
    long lRang = 0;
    CString strDienstgrad;

    HRESULT Read(CQvADORecordset& rs, INQLogicServer* pLogic);
};

// A row of the participants or instructors list: the person and the booking's own columns, as
// CKursChildDlg::BookingListSQL selects them.
struct CKursBookingRow : CKursPersonRow {
    long lPersonKursID = 0;
    long lRight = 0;
    long lMail = 0;
    BOOL bEntschuldigt = FALSE;
    CString strAbsenz, strGrund, strBemerkung;
    COleDateTime dtAnmeldung;

    HRESULT Read(CQvADORecordset& rs, INQLogicServer* pLogic);
};

// The bookings of a run counted by their status.
struct CKursStatusCounts {
    long lAll = 0;
    long lWaiting = 0;
    long lRegistered = 0;
    long lPresent = 0;
    long lAbsent = 0;
    // The bookings that take a place: all but the excused ones.
    long lPlaces = 0;

    void Add(long lStatus);
};

// The colours of a run's fill state in a page's status line, with their brushes.
class CKursFillColors {
public:
    static constexpr COLORREF kRed = RGB(255, 50, 50);
    static constexpr COLORREF kYellow = RGB(255, 255, 0);
    static constexpr COLORREF kGreen = RGB(100, 255, 50);
    static constexpr COLORREF kGrey = RGB(200, 200, 200);

    // The brushes, when the page's window is there.
    void Create();
    // The brush of a status line drawn in color (CLR_DEFAULT: hDefault, as the page has it),
    // the background of pDC set to match.
    HBRUSH Brush(CDC* pDC, COLORREF color, HBRUSH hDefault);

private:
    CBrush m_brushRed;
    CBrush m_brushYellow;
    CBrush m_brushGreen;
    CBrush m_brushGrey;
};

class CKursChildDlg : public CChildDlg {
    DECLARE_DYNAMIC(CKursChildDlg)
    friend struct CKursPersonRow;

public:
    // nHeight: the page's content height in 1/96 inch (-1: no scrolling); nFirstFocusID: the
    // control that gets the focus when the page is shown (0: none).
    CKursChildDlg(UINT nIDTemplate, UINT nCaptionID, CString strTabName, int nParent = 0, int nHeight = -1,
                  UINT nFirstFocusID = 0);
    ~CKursChildDlg() override;

    // The page's CLSID.
    virtual HRESULT GetClassID(GUID* pClsid);

    // Reads the context of the window's current course and run; reports its own database failures.
    virtual HRESULT LoadKursContext();
    HRESULT UpdateRights(CString strKey) override;
    HRESULT LoadRightsForMandant(CQvGUID guidFunction, CQvGUID guidScope, CString strKey) override;
    virtual HRESULT LoadRightsGeneral(CQvGUID guidFunction);
    // Shows and enables a control by the page's rights: shown with any right when bShow, enabled
    // with every bit of dwMask when bEdit, a run is current and no other user holds the record.
    void SecureControl(CWnd* pWnd, BOOL bShow, BOOL bEdit, DWORD dwMask);
    void SecureDlgItem(UINT nID, BOOL bShow, BOOL bEdit, DWORD dwMask);
    // Whether the person (0 or -1: the user's own) is the user, a course leader by the rights of
    // the leader function (participants or instructors) and by the course rights row.
    BOOL IsKursleiterWithRight(BOOL bTeilnehmer, long& lPersonID);

    HRESULT CloseTab() override;
    // Begins the edit of a command and takes the count of reports shown so far (kurs::ReportCount),
    // against which EndBookingCommand decides whether the command's failure has been shown.
    HRESULT BeginEdit() override;

    // The course context.
    long lKursID = 0;
    long lKursinstanzID = 0;
    long lKursleiterID = 0;
    CQvGUID guidKurs;
    CQvGUID guidKursinstanz;
    long lTyp = 0;
    BOOL fActive = TRUE;
    long rightKurs = 0;
    long rightKursinstanz = 0;
    // Whether the context holds the run shown as well; a page of the course alone reads only the
    // course, and so nothing of the run's registrations while it is shown.
    BOOL m_bKursinstanzContext = TRUE;

    // The scopes of the course rights.
    static const GUID GUID_ScopeKurs;
    static const GUID GUID_ScopeKursinstanz;
    // The bookings of a course changed; record id: the course.
    static const GUID GUID_BookingsChanged;

protected:
    BOOL OnInitDialog() override;
    void OnBookingsChanged(COleVariant data);
    DECLARE_QVEVENT_MAP()

    // The long a notice carries (0: none).
    static long VariantLong(const COleVariant& value);
    // Reloads the page when its run changed elsewhere; the shown page of a window that is up has
    // reloaded after its own command.
    void ReloadOnKursinstanzChanged(const COleVariant& value);
    // Takes the page's record for a command on the selected row; lValue: the row's parameter
    // lParamIndex. FALSE without a selected row or when the record cannot be taken.
    BOOL BeginSelectedRowEdit(CQvListCtrl* pList, long lParamIndex, long& lValue);
    // Lets the user pick the run of a move among the runs of strWhere that he may edit; FALSE
    // when he picked none.
    BOOL PickKursinstanz(const CString& strWhere, long& lNewRun);
    // Whether a list row became the selection (or took the focus while selected).
    static bool IsSelectionGained(const NMLISTVIEW* pNM);
    // Whether a list row lost the selection and holds no other state.
    static bool IsSelectionLost(const NMLISTVIEW* pNM);
    // Follows a list's selection into lSelected, the row's parameter nParam (0: no row): a row
    // gained reloads the page at once, a row lost shortly after.
    void FollowSelection(const NMHDR* pNMHDR, CQvListCtrl& list, long nParam, long& lSelected);
    // Reloads the page shortly after its selection was lost; a selection that moves to another
    // row selects it first, so the buttons never flicker off.
    void SchedulePendingLoad();
    // Whether the control is there and enabled: a double click edits only what the button would.
    BOOL IsDlgItemEnabled(UINT nID);
    // Opens the person view on the participant's or instructor's tab.
    static void NavigateToPerson(long lPersonID, BOOL bTeilnehmer);
    // The person id a list link holds as its only text (0: none).
    static long LinkPersonID(const NMHDR* pNMHDR);
    // Refreshes a page: the colour of women's names, the page's own load, then the refresh of the
    // page base; stops at the first failure. A load that failed leaves the page to be loaded again
    // (on F5, or when it is shown again) and says so in its status line.
    HRESULT RefreshPage(COLORREF& colorFemale, const std::function<HRESULT()>& load);
    // Lays out a list page: the buttons stacked at the right edge, the help button in the bottom
    // right corner, the status line left of it and the list in the rest (with a margin before
    // the buttons when bListGap).
    void CreateListLayout(UINT nListID, UINT nStatusID, std::initializer_list<UINT> buttons, BOOL bListGap);
    // Opens the person of a list link on the participant's or instructor's tab; *pResult tells
    // whether the link held a person.
    static void FollowPersonLink(const NMHDR* pNMHDR, LRESULT* pResult, BOOL bTeilnehmer);
    // The same for a link "kind;person": kind lTeilnehmerKind opens the participant's tab,
    // lInstruktorKind the instructor's, another kind nothing.
    static void FollowKindPersonLink(const NMHDR* pNMHDR, LRESULT* pResult, long lTeilnehmerKind, long lInstruktorKind);
    // Lets the user pick the persons to book in the person search pszKey, limited by strJoin and
    // strWhere; without the right to book, a leader (of participants when bTeilnehmerLeader, else
    // of instructors) may pick only himself, anyone else nobody. FALSE when he cancelled.
    BOOL PickPersonsToBook(LPCWSTR pszKey, BOOL bTeilnehmerLeader, const CString& strJoin, CString strWhere,
                           std::vector<long>& ids);
    // Asks before the selected rows are removed; FALSE without rows or when the user declined.
    static BOOL ConfirmRemoval(const CQvListItemArray& items);
    // Books the persons on the course: on run lRun (-1: planned for lYear), as instructors in role
    // lKursleitungID when bInstruktor; stops at the first failure, traced and returned.
    HRESULT BookPersons(const std::vector<long>& ids, BOOL bInstruktor, long lRun, long lYear, long lKursleitungID);
    // Edits a booking in the person dialog; TRUE when the user saved it.
    BOOL EditBooking(long lPersonKursID, BOOL bNoEvent = FALSE);
    // Lets the user choose the new status of the selected bookings (lCurrent: the one they share,
    // -1 none); FALSE when he cancelled or kept lCurrent.
    BOOL AskNewStatus(BOOL bTeilnehmer, long lRun, long lCurrent, long& lStatus);
    // The row parameter nParam of the first selected row, or -1 when one of the rows that
    // bCompared admits (all without it) holds another.
    static long SharedParam(const CQvListItemArray& items, int nParam,
                            const std::function<bool(const CQvListItem*)>& bCompared = nullptr);
    // Ends the edit of a booking command: after a change that succeeded the course's bookings
    // are announced, a failure is reported (as a notice of kind 1 when bNotice, else by its code)
    // unless a step of the command has shown it since BeginEdit; E_ABORT is a refusal the user
    // has been shown, or his own cancel, and no failure to report.
    void EndBookingCommand(long hr, BOOL bChanged, LPCWSTR lpszSource, BOOL bNotice);
    // Whether the failure hr of a command has been shown: a step reported since BeginEdit, or
    // E_ABORT (a refusal shown to the user, or his own cancel).
    bool IsFailureShown(long hr) const;
    // Reads the current run's closed flag, its count limit pszLimit (the minimum of instructors or
    // the maximum of participants) and, with pDatum, its date; reports its own database failures.
    HRESULT ReadRunHeader(LPCWSTR pszLimit, BOOL& bClosed, long& lLimit, COleDateTime* pDatum);
    // Removes the booking of a participant (bTeilnehmer) or an instructor from the course in a
    // transaction of its own on conn, as the page shows it: in the run lRun (-1: planned, in no
    // run) with the status lShownStatus (-1: any) and, for an instructor, the leader flag
    // lShownLeiter (-1: not shown); one stored otherwise is left as it is. The course API has shown
    // the errors of its own steps, a failure of the transaction is reported here.
    static HRESULT RemoveBooking(CQvADOConnection& conn, CVRQKurs& kurs, BOOL bTeilnehmer, long lPersonKursID,
                                 long lPersonID, long lRun, long lShownStatus, long lShownLeiter = -1);
    // The logic server for the persons' ranks; E_NOINTERFACE when it gave none.
    static HRESULT OpenLogicServer(INQLogicServer*& pLogic);
    // Appends "Ohne Funktion" (role -1) as nNoneID and the leadership roles after it, up to
    // nLastID, to the menu, their ids to roles; reports its own database failures.
    static HRESULT AppendRoleMenu(CMenu& menu, UINT nNoneID, UINT nLastID, std::vector<long>& roles);
    // The statement of the bookings of a run, participants or instructors, with the columns
    // CKursBookingRow reads; pszColumns and pszJoin add the page's own.
    static CString BookingListSQL(BOOL bTeilnehmer, long lRun, LPCWSTR pszColumns, LPCWSTR pszJoin);

    // The person columns of CKursPersonRow and the joins they come from.
    static const wchar_t* const kPersonColumns;
    static const wchar_t* const kPersonFrom;
    // An instructor's role, "Ohne Funktion" for none (-1), and the join it comes from.
    static const wchar_t* const kRoleColumns;
    static const wchar_t* const kRoleJoin;

    // The colour the pages draw women's names in.
    static HRESULT LoadColorFemale(COLORREF& color);
    // The rank text and order of a person today; the texts are freed here.
    static HRESULT GetPersonDienstgrad(INQLogicServer* pLogic, long lPersonID, CString& strDienstgrad, long& lRang);

    // A page whose load failed: greyed, and its status line (the frame's for a page without one)
    // says that F5 loads it again.
    void OnLoadEnded(HRESULT hr) override;
    // Writes the text into the frame's status line.
    static void SetFrameStatusText(const CString& strText);

    CQvAsyncEventSink m_kursEventSink;
    // The frame's status line tells that this page's load failed.
    BOOL m_bFrameStatusSaysFailed = FALSE;
    long m_lReportsAtEdit = 0;
    // The page's status line (CreateListLayout); 0: it has none.
    UINT m_nStatusID = 0;
};
