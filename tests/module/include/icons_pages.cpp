#include "icons_pages.h"

#include "parentdlg.h"
#include "resource.h"

#include <algorithm>

namespace iconstest {

namespace {
const bool g_registered = [] {
    using namespace qv::ui;
    static char tag;
    DialogTemplate page;
    page.id = IDD_TEST_SETUP;
    page.cx = 300;
    page.cy = 120;
    page.style = WS_CHILD | DS_CONTROL;
    page.items = {LText(L"Kursnummern:", 0, 8, 10, 60, 10), EditText(3301, 72, 8, 100, 14)};
    RegisterDialogTemplate(reinterpret_cast<HINSTANCE>(&tag), page);
    return true;
}();
}  // namespace

HRESULT CTestSelDlg::GetRecordText(CString* pstrText) {
    const long lID = GetRecordID();
    if (lID == 0) *pstrText = L"Keine Kurse";
    else pstrText->Format(L"Kurs %d%s", lID, CString(suffix.c_str()));
    return S_OK;
}

HRESULT CTestSelDlg::ShowRecord(long lID, long lSubID) {
    const HRESULT hr = CSelDlg::ShowRecord(lID, lSubID);
    if (SUCCEEDED(hr)) {
        GetRecordText(&m_strText);
        UpdateData(FALSE);
    }
    return hr;
}

int CTestSelDlg::Current() {
    const auto it = std::find(ids.begin(), ids.end(), GetRecordID());
    return it == ids.end() ? -1 : int(it - ids.begin());
}

HRESULT CTestSelDlg::Pick(long* plID, int index) {
    if (FAILED(fail)) return fail;
    *plID = index >= 0 && index < int(ids.size()) ? ids[std::size_t(index)] : 0;
    return S_OK;
}

}  // namespace iconstest
