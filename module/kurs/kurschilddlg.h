#pragma once
// CKursChildDlg: the base of the course window's pages. It keeps the course context of the
// window's current course and run (ids, GUIDs, type, active flag, the user's course rights and the
// run's leader), loads the page's rights under the course rules and guards the controls by them,
// and reloads the page when the bookings of its course changed elsewhere. It also holds what the
// run pages do alike: following a list's selection, opening a person from a link, starting a
// command on the selected row and picking the run a booking moves to.
#include "childdlg.h"
#include "olevariant.h"
#include "qvasynceventsink.h"

struct INQLogicServer;
struct NMLISTVIEW;
class CQvListCtrl;

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
    // The colour the pages draw women's names in.
    static HRESULT LoadColorFemale(COLORREF& color);
    // The rank text and order of a person today; the texts are freed here.
    static HRESULT GetPersonDienstgrad(INQLogicServer* pLogic, long lPersonID, CString& strDienstgrad, long& lRang);

    CQvAsyncEventSink m_kursEventSink;
};
