#include "kursview.h"
#include "heaptrim.h"
#include "adosession.h"

#include "kursdlg.h"
#include "kursint.h"
#include "kursresource.h"
#include "kurssetupdlg.h"
#include "qveventsource.h"
#include "qvregvalue.h"
#include "qvrunning.h"

#include <QImage>
#include <QPainter>


namespace {

constexpr const wchar_t* kTabListKey = L"Software\\Qovaro\\NQ2\\KursView\\TabWindows";

// The course module's pages in their order; a page is listed when its class is registered.
constexpr const wchar_t* kPages[] = {
    L"Qovaro.NQ2.Tab.Std.Kurs.Kursdaten",  L"Qovaro.NQ2.Tab.Std.Kurs.Instanzdaten",
    L"Qovaro.NQ2.Tab.Std.Kurs.Teilnehmer", L"Qovaro.NQ2.Tab.Std.Kurs.Gruppen",
    L"Qovaro.NQ2.Tab.Std.Kurs.Instruktor", L"Qovaro.NQ2.Tab.Std.Kurs.Planung",
    L"Qovaro.NQ2.Tab.Std.Kurs.History",    L"Qovaro.NQ2.Tab.Std.Kurs.CustField",
};

struct ImageRegistrar {
    ImageRegistrar() {
        // The view's picture in the view bar: a blue sheet with a red seal.
        QImage image(32, 32, QImage::Format_RGB32);
        image.fill(QColor(0x7B, 0x7C, 0x7D));
        QPainter painter(&image);
        painter.fillRect(6, 4, 20, 24, QColor(240, 244, 255));
        painter.setPen(QColor(40, 60, 140));
        for (int y = 9; y < 22; y += 4) painter.drawLine(9, y, 22, y);
        painter.setBrush(QColor(200, 40, 40));
        painter.setPen(Qt::NoPen);
        painter.drawEllipse(17, 19, 8, 8);
        painter.end();
        qv::ui::RegisterBitmap(KursModuleHandle(), IDB_KURSVIEW, image);
    }
};
ImageRegistrar g_imageRegistrar;

}  // namespace

IMPLEMENT_DYNCREATE(CKursView, CNQView)

BEGIN_INTERFACE_MAP(CKursView, CNQView)
    INTERFACE_PART(CKursView, IID_IKursinstanz, Kursinstanz)
END_INTERFACE_MAP()

CKursView::CKursViewFactory g_kursViewFactory(CLSID_KursView, RUNTIME_CLASS(CKursView), FALSE, KURSVIEW_PROGID);

CKursView::CKursView() {
    SetName(KURSVIEW_PROGID);
    SetServerGUID(CQvGUID(kurs::kSecFunctionKursModul));
    SetCaptionID(IDS_KURSVIEW_CAPTION);
    SetBitmapID(IDB_KURSVIEW);
    SetViewObject(new CKursDlg(this));
}

CKursView::~CKursView() = default;

HRESULT CKursView::GetClassID(GUID* pClsid) {
    if (!pClsid) return E_POINTER;
    *pClsid = CLSID_KursView;
    return S_OK;
}

CKursDlg* CKursView::GetKursDlg() const { return dynamic_cast<CKursDlg*>(m_pViewDlg); }

void CKursView::RegisterTabList() {
    // The list is the installation's: once it exists it is read as it stands (a missing or empty
    // value ends it), so a page an administrator removed stays removed.
    CString strFirst;
    if (CQvRegistry::GetValue(kTabListKey, L"WindowServer0", strFirst) && !strFirst.IsEmpty()) return;
    int nIndex = 0;
    for (const wchar_t* lpszProgID : kPages) {
        CLSID clsid{};
        if (FAILED(CLSIDFromProgID(lpszProgID, &clsid))) continue;
        CString strName;
        strName.Format(L"WindowServer%d", nIndex++);
        CQvRegistry::SetValue(kTabListKey, strName, lpszProgID);
    }
}

HRESULT CKursView::UpAndRunning() {
    HRESULT hr = CNQView::UpAndRunning();
    if (FAILED(hr)) return KURS_TRACEHR(hr);
    // The scheduler's rights event reaches the course dialog under this name.
    CQvEventSource events;
    hr = events.FireEventString(CKursDlg::GUID_UpdateSecKurs, L"Ev_UpdateSecKurs");
    if (FAILED(hr)) KURS_TRACEHR(hr);
    // Other modules find the running course window by its ProgID (the course search its fill levels).
    hr = qv::RegisterRunningServer(KURSVIEW_PROGID, GetInterface(&IID_IUnknown));
    if (FAILED(hr)) KURS_TRACEHR(hr);
    m_bRunning = SUCCEEDED(hr);
    return S_OK;
}

HRESULT CKursView::Close() {
    if (m_bRunning) qv::RevokeRunningServer(KURSVIEW_PROGID);
    m_bRunning = FALSE;
    const HRESULT hr = CNQView::Close();
    // What the window read stays cached in this thread's idle database sessions, and what its
    // pages held stays with the heap: both go back to the system when the window is closed.
    qv::ado::Session::ReleasePool();
    QvReleaseFreeHeapSoon();
    return hr;
}

CRuntimeClass** CKursView::GetSetupPageClasses() {
    static CRuntimeClass* classes[] = {RUNTIME_CLASS(CKursSetupDlg), nullptr};
    return classes;
}

// ---- IKursinstanz: answered by the course dialog while it exists

IMPLEMENT_IUNKNOWN(CKursView, Kursinstanz)

HRESULT CKursView::XKursinstanz::Reserved3() {
    METHOD_PROLOGUE(CKursView, Kursinstanz)
    CKursDlg* pDlg = pThis->GetKursDlg();
    return pDlg ? pDlg->UpdateKursinstanzFillLevel() : E_FAIL;
}

HRESULT CKursView::XKursinstanz::Reserved4() { return E_NOTIMPL; }

HRESULT CKursView::XKursinstanz::GetFillLevel(GUID guidKursinstanz, long* plState, long* plCount, long* plMaximum) {
    METHOD_PROLOGUE(CKursView, Kursinstanz)
    CKursDlg* pDlg = pThis->GetKursDlg();
    if (!pDlg) return S_FALSE;
    CQvGUID guid;
    guid.SetGUID(guidKursinstanz);
    long lState = 0, lCount = 0, lMax = 0;
    if (!pDlg->GetFillLevel().Lookup(guid, &lState, &lCount, &lMax)) return S_FALSE;
    if (plState) *plState = lState;
    if (plCount) *plCount = lCount;
    if (plMaximum) *plMaximum = lMax;
    return S_OK;
}
