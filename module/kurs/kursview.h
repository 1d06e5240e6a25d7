#pragma once
// CKursView: the course view ("Qovaro.NQ2.KursView") the host frame shows. It owns the course
// dialog, lists the course settings page, names the rights-refresh event when it is up and running
// and answers the course window's interface on its runs.
#include "ikursinstanz.h"
#include "nqview.h"
#include "qvfobjectfactory.h"

class CKursDlg;

inline constexpr CLSID CLSID_KursView = qv::MakeGuid("99F1AB30-CB96-4DF2-99A9-0EDA0892C25B");

class CKursView : public CNQView {
    DECLARE_DYNCREATE(CKursView)
public:
    CKursView();
    ~CKursView() override;

    HRESULT GetClassID(GUID* pClsid) override;
    HRESULT UpAndRunning() override;
    HRESULT Close() override;
    CRuntimeClass** GetSetupPageClasses() override;

    CKursDlg* GetKursDlg() const;

    // Writes the page list under the view's key with every registered page, only where no list
    // exists yet; called by the module's registration.
    static void RegisterTabList();

    class CKursViewFactory : public CQvFObjectFactory {
    public:
        using CQvFObjectFactory::CQvFObjectFactory;
    };

protected:
    BOOL m_bRunning = FALSE;

    BEGIN_INTERFACE_PART(Kursinstanz, IKursinstanz)
        HRESULT Reserved3() override;
        HRESULT Reserved4() override;
        HRESULT GetFillLevel(GUID guidKursinstanz, long* plState, long* plCount, long* plMaximum) override;
    END_INTERFACE_PART(Kursinstanz)
    DECLARE_INTERFACE_MAP()
};
