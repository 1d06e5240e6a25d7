#pragma once
// CGruppenDlg: the page "Gruppen" of the course window (central installation only). It shows the
// run's groups with their members as a tree and, beside it, the persons of the run in no group;
// groups are created, renamed, deleted, filled and emptied here, and saved as the course's
// template or created from it.
#include "kurschilddlg.h"
#include "qvfobjectfactory.h"
#include "qvlistctrl.h"
#include "treectrl.h"

class CQvADOConnection;

inline constexpr CLSID CLSID_GruppenDlg = qv::MakeGuid("D8B82C88-FA6A-4E3A-B95E-823790CD337F");

class CGruppenDlg : public CKursChildDlg {
    DECLARE_DYNCREATE(CGruppenDlg)
public:
    // The data of a tree item: a group or a member.
    class CElem : public CObject {
    public:
        ~CElem() override = default;
        long lMaxTeilnehmer = 0;
        long lAnzahlTeilnehmer = 0;
        long lElemTyp = 0;  // 1 group, 0 member
        long lElemID = 0;   // lKursinstanzGruppeID or lPersonID
        // A member's registration and its status as the tree shows them.
        long lPersonKursID = 0;
        long lStatus = 0;
        // A group's name as read.
        CString strBezeichnung;
    };
    // A group as the tree shows it: its key, its name and maximum as read, and its label.
    struct CShownGroup {
        long lGruppeID = 0;
        CString strBezeichnung;
        long lMaxTeilnehmer = 0;
        CString strLabel;
    };

    CGruppenDlg();
    ~CGruppenDlg() override;

    HRESULT GetClassID(GUID* pClsid) override;
    HRESULT CloseTab() override;
    HRESULT ReleaseParentControl() override;
    HRESULT Refresh() override;
    HRESULT LoadData() override;
    HRESULT CheckRightsFor(long lValue) override;
    void CreateLayout() override;

    HRESULT LoadControls();
    HRESULT FillList();
    HRESULT FillTree();
    HRESULT FillGruppe(HTREEITEM hItem, long lKursinstanzGruppeID, long& lAnzahlTeilnehmer);
    // 0 with the selected group's key and label; 1 when no group is selected; E_FAIL for an item
    // without element.
    HRESULT GetSelectedGruppe(long& lKursinstanzGruppeID, CString& strLabel);
    HRESULT UpdateMenu();

    // Writes a new group of the run unless the run has one of that name (bTaken, nothing written);
    // inside the connection's transaction when one is open, else in one of its own.
    static long CreateGroup(CQvADOConnection& conn, long lKursinstanzID, const CString& strName, long lMaxTeilnehmer,
                            bool& bTaken);

    // What the commands write, each change one unit with its log entry under the run
    // (lKursinstanzID, guidKursinstanz): both are stored or neither. A group that is not stored as
    // shown (changed or deleted meanwhile) writes nothing and gives S_FALSE, for the caller to tell;
    // a registration that is not stored as shown gives E_ABORT, the user told.
    // A new group (the name as SQL literal text); bTaken as CreateGroup.
    static long WriteNewGroup(CQvADOConnection& conn, long lKursinstanzID, const CQvGUID& guidKursinstanz,
                              const CString& strName, long lMaxTeilnehmer, bool& bTaken);
    // The groups of the course's template.
    static long WriteGroupsFromTemplate(CQvADOConnection& conn, long lKursinstanzID, const CQvGUID& guidKursinstanz);
    // The group's new name and maximum, over the name and maximum as read.
    static long WriteGroupEdit(CQvADOConnection& conn, long lKursinstanzID, const CQvGUID& guidKursinstanz,
                               long lGruppeID, const CString& strRead, long lReadMax, const CString& strName,
                               long lMaxTeilnehmer);
    // The group goes, its members back among the persons without a group.
    static long WriteGroupDeletion(CQvADOConnection& conn, long lKursinstanzID, const CQvGUID& guidKursinstanz,
                                   const CShownGroup& group);
    // The registration as the list shows it (in the run, in no group, with the status and person)
    // into the group.
    static long GroupRegistration(CQvADOConnection& conn, long lKursinstanzID, const CQvGUID& guidKursinstanz,
                                  const CShownGroup& group, long lPersonKursID, long lPersonID, long lShownStatus);
    // The member as the tree shows it (in the run and the group, with the status and person, named
    // strMember) out of the group.
    static long UngroupRegistration(CQvADOConnection& conn, long lKursinstanzID, const CQvGUID& guidKursinstanz,
                                    const CShownGroup& group, const CString& strMember, long lPersonKursID,
                                    long lPersonID, long lShownStatus);
    // The commands.
    void OnNewGroup();
    void OnNewGroupsFromTemplate();
    void OnNewTemplate();
    void OnEditGroup();
    void OnDeleteGroup();
    void OnAddToGroup();
    void OnRemoveFromGroup();
    void OnRadioAlle();
    void OnRadioAngemeldet();

    CTreeCtrlEx m_tree;
    CQvListCtrl m_list;
    int m_nRadio = 0;
    COLORREF m_colorFemale = 0;
    long m_lElemTyp = -1;
    CImageList m_imageList;
    CMenu m_menu;
    CQvBitmapButton m_btnAdd;
    CQvBitmapButton m_btnRemove;
    CQvBitmapButton m_btnEdit;
    CQvBitmapButton m_btnDelete;
    CQvMenuButton m_btnNew;

    class CGruppenDlgFactory : public CQvFObjectFactory {
    public:
        using CQvFObjectFactory::CQvFObjectFactory;
    };

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    void OnDeleteitemTreeGruppen(NMHDR* pNMHDR, LRESULT* pResult);
    afx_msg void OnDestroy();
    void OnSelchangedTreeGruppen(NMHDR* pNMHDR, LRESULT* pResult);
    void OnItemchangedList(NMHDR* pNMHDR, LRESULT* pResult);
    void OnLinkList(NMHDR* pNMHDR, LRESULT* pResult);
    DECLARE_MESSAGE_MAP()

private:
    // The group of the tree's item as it shows it (key 0 without a group element).
    CShownGroup ShownGroup(HTREEITEM hItem);
    // After the tree was filled anew: the buttons follow what is selected now.
    void FollowTreeSelection();
};
