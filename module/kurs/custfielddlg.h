#pragma once
// CCustfieldDlg: the page "Eigene Daten" of the course window: the custom fields of the course and
// of its run, each in a grid of the suite's custom-field control, and the configuration of those
// fields through a menu button. CSelectCustfieldDlg asks whether the fields of courses or of runs
// are to be configured.
#include "kurschilddlg.h"
#include "qvbuttons.h"
#include "qvcustfieldclientctrl.h"
#include "nqpopupdialog.h"
#include "qvfobjectfactory.h"

#include <vector>

inline constexpr CLSID CLSID_CustfieldDlg = qv::MakeGuid("00530295-38EC-4286-95FB-78C15474B4AC");

// The logic server's configuration of the custom fields of a table; returns when the user is done.
struct INQCustFieldConfig : IUnknown {
    virtual HRESULT ConfigureCustFields(long lTableID, long lMode) = 0;  // 3
};
inline constexpr IID IID_INQCustFieldConfig = qv::MakeGuid("07DE7D71-F67E-4F45-BF02-9853F2B0AEA8");

class CCustfieldDlg : public CKursChildDlg {
    DECLARE_DYNCREATE(CCustfieldDlg)
public:
    CCustfieldDlg();
    ~CCustfieldDlg() override;

    HRESULT GetClassID(GUID* pClsid) override;
    HRESULT Refresh() override;
    HRESULT LoadData() override;
    void CreateLayout() override;

    void OnMenuButton();
    void EditCustfield();
    void SetPublicCustfield();

    CQvCustFieldClientCtrl m_ctrlKurs;
    CQvCustFieldClientCtrl m_ctrlKursinstanz;
    CQvMenuButton m_btnMenu;
    std::vector<long> m_arrTables;
    CMenu m_menu;

    class CCustfieldDlgFactory : public CQvFObjectFactory {
    public:
        using CQvFObjectFactory::CQvFObjectFactory;
    };

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    DECLARE_MESSAGE_MAP()

private:
    // Reloads both grids after a configuration; the report names the caller.
    void RefreshGrids(LPCWSTR lpszSource);
};

class CSelectCustfieldDlg : public CNQPopupDialog {
public:
    explicit CSelectCustfieldDlg(CWnd* pParent = nullptr);
    // 0: the fields of all courses (table 39), 1: of all runs (table 42).
    int m_nChoice = 0;

    BOOL OnInitDialog() override;
    void OnOK() override;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    void OnKurs();
    void OnKursinstanz();
    DECLARE_MESSAGE_MAP()
};
