#include "statuslinereports.h"

#include "qvfint.h"
#include "qvfserver.h"

namespace {

// The description of the first error of a connection's error text, else its first line.
CString FirstDescription(const CString& strErrorText) {
    static const CString kLabel(L"Description:");
    CString strLine = strErrorText;
    const int nAt = strLine.Find(kLabel);
    if (nAt >= 0) strLine = strLine.Mid(nAt + kLabel.GetLength());
    const int nEnd = strLine.Find(L'\n');
    if (nEnd >= 0) strLine = strLine.Left(nEnd);
    strLine.Trim();
    return strLine;
}

}  // namespace

CStatusLineReports::CStatusLineReports(const CString& strWhat)
    : m_previous(QvSetDBErrorReportHook([strWhat](const CString& strText, long, const std::wstring&, long) {
          Show(strWhat, strText);
      })) {}

CStatusLineReports::~CStatusLineReports() { QvSetDBErrorReportHook(std::move(m_previous)); }

void CStatusLineReports::Show(const CString& strWhat, const CString& strErrorText) {
    IQvFFrame* pFrame = nullptr;
    if (FAILED(QvFQueryFrame(IID_IQvFFrame, reinterpret_cast<void**>(&pFrame))) || !pFrame) return;
    const CString strCause = FirstDescription(strErrorText);
    const CString strText = strCause.IsEmpty() ? strWhat : strWhat + L": " + strCause;
    BSTR bstrText = strText.AllocSysString();
    pFrame->SetStatusText(bstrText);
    SysFreeString(bstrText);
    pFrame->Release();
}
