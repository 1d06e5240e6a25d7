#pragma once
// CPlanungDlg: the page "Planung" of the course window. It lists what is planned for the course but
// not yet placed in a run (participants, in the central installation also instructors, and the
// Mandanten's reservations) with a per-year status line, adds to the plan, and places, re-states
// and removes planned entries through the course API.
#include "kurschilddlg.h"
#include "qvbuttons.h"
#include "qvfobjectfactory.h"
#include "qvlistctrl.h"

#include <vector>

inline constexpr CLSID CLSID_PlanungDlg = qv::MakeGuid("31037C0C-B793-4000-B6CA-7C94355140CF");

// Registers the template of a list of the course's registrations (the planning and the archive):
// the list, the add, edit, move, status and remove buttons at the heights buttonTops gives in
// that order, the status line and the help button.
void RegisterPlanungListTemplate(UINT nDialogID, const int (&buttonTops)[5]);

class CPlanungDlg : public CKursChildDlg {
    DECLARE_DYNCREATE(CPlanungDlg)
public:
    CPlanungDlg();
    ~CPlanungDlg() override;

    HRESULT GetClassID(GUID* pClsid) override;
    HRESULT CloseTab() override;
    HRESULT Refresh() override;
    HRESULT SaveData() override;
    HRESULT LoadData() override;
    void CreateLayout() override;

    long RefreshPlanningList();
    long LoadPlanningList();
    long BuildAddMenu();
    long AddReservation();
    long AddPersons();
    long AddInstructors(long lKursleitungID);

    void OnBnAdd();
    void OnAdd(UINT nID);
    void OnBnRemove();
    void OnBnEdit();
    void OnBnChangeInstanz();
    void OnBnChangeState();

    // Row parameters.
    enum { eParamID = 0, eParamPerson = 1, eParamKursleitung = 2, eParamStatus = 3, eParamArt = 4, eParamRight = 5 };
    enum { eArtTeilnehmer = 1, eArtReservation = 2, eArtInstruktor = 3 };

    CQvAsyncEventSink m_eventSink;
    CQvListCtrl m_list;
    CQvMenuButton m_btnAdd;
    CQvBitmapButton m_btnRemove;
    CQvBitmapButton m_btnEdit;
    CQvBitmapButton m_btnChangeInstanz;
    CQvBitmapButton m_btnChangeState;
    CString m_strStatus;
    CImageList m_imageList;
    COLORREF m_colorFemale = 0;
    long m_lReselectID = 0;
    long m_lSelectedArt = 0;
    CBitmap m_bmpPerson;
    CBitmap m_bmpReservation;
    CMenu m_menuAdd;
    std::vector<long> m_arrKursleitung;

    class CPlanungDlgFactory : public CQvFObjectFactory {
    public:
        using CQvFObjectFactory::CQvFObjectFactory;
    };

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    void OnItemChangedList(NMHDR* pNMHDR, LRESULT* pResult);
    void OnDblClkList(NMHDR* pNMHDR, LRESULT* pResult);
    void OnListLinkClick(NMHDR* pNMHDR, LRESULT* pResult);
    DECLARE_MESSAGE_MAP()

    void OnRoleConfigChanged(COleVariant value);
    void OnKursChanged(COleVariant value);
    void OnMandantChanged(COleVariant value);
    DECLARE_QVEVENT_MAP()

private:
    // The three flows of adding persons; bInstruktor with the role (-1: none).
    long AddToPlan(BOOL bInstruktor, long lKursleitungID);
    // Begins the row commands: the first selected row's id and the course's edit lock.
    BOOL BeginRowCommand();
    // Ends a row command: the reload, the edit lock, the events and the report of a failure.
    void EndRowCommand(long hr, BOOL bPassed, BOOL bReservationEvent, LPCWSTR lpszSource);
};
