#include "framemenu.h"

#include <algorithm>

namespace {

HRESULT Out(BSTR* pbstr, const CString& strText) {
    if (!pbstr) return E_POINTER;
    *pbstr = strText.AllocSysString();
    return S_OK;
}

CString Text(BSTR bstr) { return bstr ? CString(bstr, int(SysStringLen(bstr))) : CString(); }

template <class T>
HRESULT OutValue(T* p, T value) {
    if (!p) return E_POINTER;
    *p = value;
    return S_OK;
}

}  // namespace

// ---- commands

HRESULT CQvFrameMenuItem::QueryInterface(REFIID iid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IQvFMenuItem) {
        *ppv = static_cast<IQvFMenuItem*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG CQvFrameMenuItem::Release() {
    const long r = --m_lRefs;
    if (r == 0) delete this;
    return ULONG(r);
}

HRESULT CQvFrameMenuItem::get_Name(BSTR* pbstrName) { return Out(pbstrName, m_strName); }
HRESULT CQvFrameMenuItem::put_Caption(BSTR bstrCaption) {
    m_strCaption = Text(bstrCaption);
    return S_OK;
}
HRESULT CQvFrameMenuItem::get_Caption(BSTR* pbstrCaption) { return Out(pbstrCaption, m_strCaption); }
HRESULT CQvFrameMenuItem::put_Prompt(BSTR bstrPrompt) {
    m_strPrompt = Text(bstrPrompt);
    return S_OK;
}
HRESULT CQvFrameMenuItem::get_Prompt(BSTR* pbstrPrompt) { return Out(pbstrPrompt, m_strPrompt); }
HRESULT CQvFrameMenuItem::put_Checked(BOOL bChecked) {
    m_bChecked = bChecked ? TRUE : FALSE;
    return S_OK;
}
HRESULT CQvFrameMenuItem::get_Checked(BOOL* pbChecked) { return OutValue(pbChecked, m_bChecked); }
HRESULT CQvFrameMenuItem::put_Enabled(BOOL bEnabled) {
    m_bEnabled = bEnabled ? TRUE : FALSE;
    return S_OK;
}
HRESULT CQvFrameMenuItem::get_Enabled(BOOL* pbEnabled) { return OutValue(pbEnabled, m_bEnabled); }
HRESULT CQvFrameMenuItem::put_GroupStart(BOOL bGroupStart) {
    m_bGroupStart = bGroupStart ? TRUE : FALSE;
    return S_OK;
}
HRESULT CQvFrameMenuItem::get_GroupStart(BOOL* pbGroupStart) { return OutValue(pbGroupStart, m_bGroupStart); }
HRESULT CQvFrameMenuItem::put_Number(long lNumber) {
    m_lOrder = lNumber;
    return S_OK;
}
HRESULT CQvFrameMenuItem::get_Number(long* plNumber) { return OutValue(plNumber, m_lOrder); }

// ---- popups

HRESULT CQvFrameMenuPopup::QueryInterface(REFIID iid, void** ppv) {
    if (!ppv) return E_POINTER;
    // The top of the tree is the frame's menu interface; the frame answers for everything else.
    if (m_pOuter && iid != IID_IQvFMenu && iid != IID_IQvFMenuPopup) return m_pOuter->QueryInterface(iid, ppv);
    if (iid == IID_IUnknown || iid == IID_IQvFMenuPopup || (iid == IID_IQvFMenu && m_pOuter)) {
        *ppv = static_cast<IQvFMenu*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG CQvFrameMenuPopup::AddRef() {
    if (m_pOuter) return m_pOuter->AddRef();
    return ULONG(++m_lRefs);
}

ULONG CQvFrameMenuPopup::Release() {
    if (m_pOuter) return m_pOuter->Release();
    const long r = --m_lRefs;
    if (r == 0) delete this;
    return ULONG(r);
}

HRESULT CQvFrameMenuPopup::CreatePopup(BSTR bstrName, IQvFMenuPopup** ppPopup) {
    if (!ppPopup) return E_POINTER;
    *ppPopup = nullptr;
    CQvFrameMenuNode* pNode = nullptr;
    const HRESULT hr = m_pModel->Create(this, Text(bstrName), true, &pNode);
    if (FAILED(hr)) return hr;
    auto* pPopup = static_cast<CQvFrameMenuPopup*>(pNode);
    pPopup->AddRef();
    *ppPopup = pPopup;
    return S_OK;
}

HRESULT CQvFrameMenuPopup::CreateItem(BSTR bstrName, IQvFMenuItem** ppItem) {
    if (!ppItem) return E_POINTER;
    *ppItem = nullptr;
    CQvFrameMenuNode* pNode = nullptr;
    const HRESULT hr = m_pModel->Create(this, Text(bstrName), false, &pNode);
    if (FAILED(hr)) return hr;
    auto* pItem = static_cast<CQvFrameMenuItem*>(pNode);
    pItem->AddRef();
    *ppItem = pItem;
    return S_OK;
}

HRESULT CQvFrameMenuPopup::RemovePopup(BSTR bstrName) { return m_pModel->Remove(Text(bstrName), true); }
HRESULT CQvFrameMenuPopup::RemoveItem(BSTR bstrName) { return m_pModel->Remove(Text(bstrName), false); }

HRESULT CQvFrameMenuPopup::GetPopup(BSTR bstrName, IQvFMenuPopup** ppPopup) {
    if (!ppPopup) return E_POINTER;
    *ppPopup = nullptr;
    CQvFrameMenuNode* pNode = m_pModel->Find(Text(bstrName));
    if (!pNode || !pNode->IsPopup()) return E_INVALIDARG;
    auto* pPopup = static_cast<CQvFrameMenuPopup*>(pNode);
    pPopup->AddRef();
    *ppPopup = pPopup;
    return S_OK;
}

HRESULT CQvFrameMenuPopup::GetItem(BSTR bstrName, IQvFMenuItem** ppItem) {
    if (!ppItem) return E_POINTER;
    *ppItem = nullptr;
    CQvFrameMenuNode* pNode = m_pModel->Find(Text(bstrName));
    if (!pNode || pNode->IsPopup()) return E_INVALIDARG;
    auto* pItem = static_cast<CQvFrameMenuItem*>(pNode);
    pItem->AddRef();
    *ppItem = pItem;
    return S_OK;
}

HRESULT CQvFrameMenuPopup::get_Name(BSTR* pbstrName) { return Out(pbstrName, m_strName); }
HRESULT CQvFrameMenuPopup::put_Caption(BSTR bstrCaption) {
    m_strCaption = Text(bstrCaption);
    return S_OK;
}
HRESULT CQvFrameMenuPopup::get_Caption(BSTR* pbstrCaption) { return Out(pbstrCaption, m_strCaption); }
HRESULT CQvFrameMenuPopup::put_Enabled(BOOL bEnabled) {
    m_bEnabled = bEnabled ? TRUE : FALSE;
    return S_OK;
}
HRESULT CQvFrameMenuPopup::get_Enabled(BOOL* pbEnabled) { return OutValue(pbEnabled, m_bEnabled); }
HRESULT CQvFrameMenuPopup::put_GroupStart(BOOL bGroupStart) {
    m_bGroupStart = bGroupStart ? TRUE : FALSE;
    return S_OK;
}
HRESULT CQvFrameMenuPopup::get_GroupStart(BOOL* pbGroupStart) { return OutValue(pbGroupStart, m_bGroupStart); }
HRESULT CQvFrameMenuPopup::put_Position(long lPosition) {
    m_lOrder = lPosition;
    return S_OK;
}
HRESULT CQvFrameMenuPopup::get_Position(long* plPosition) { return OutValue(plPosition, m_lOrder); }
HRESULT CQvFrameMenuPopup::Apply() { return m_pModel->Apply(); }

std::vector<CQvFrameMenuNode*> CQvFrameMenuPopup::Children() const {
    std::vector<CQvFrameMenuNode*> children = m_children;
    std::stable_sort(children.begin(), children.end(),
                     [](const CQvFrameMenuNode* a, const CQvFrameMenuNode* b) { return a->m_lOrder < b->m_lOrder; });
    return children;
}

// ---- the tree

CQvFrameMenu::CQvFrameMenu(IUnknown* pOuter) : m_root(this, pOuter) {}

CQvFrameMenu::~CQvFrameMenu() {
    for (CQvFrameMenuNode* pChild : std::vector<CQvFrameMenuNode*>(m_root.m_children)) Forget(pChild);
}

CString CQvFrameMenu::Key(const CString& strName) {
    CString key = strName;
    key.MakeLower();
    return key;
}

CQvFrameMenuNode* CQvFrameMenu::Find(const CString& strName) const {
    auto it = m_names.find(Key(strName));
    return it == m_names.end() ? nullptr : it->second;
}

HRESULT CQvFrameMenu::Create(CQvFrameMenuPopup* pParent, const CString& strName, bool bPopup,
                             CQvFrameMenuNode** ppNode) {
    *ppNode = nullptr;
    if (strName.IsEmpty()) return E_INVALIDARG;
    if (CQvFrameMenuNode* pNode = Find(strName)) {
        if (pNode->IsPopup() != bPopup) return E_FAIL;
        ++pNode->m_lUses;
        *ppNode = pNode;
        return S_OK;
    }
    CQvFrameMenuNode* pNode = bPopup ? static_cast<CQvFrameMenuNode*>(new CQvFrameMenuPopup(this))
                                     : static_cast<CQvFrameMenuNode*>(new CQvFrameMenuItem(this));
    pNode->m_strName = strName;
    pNode->m_strCaption = strName;
    pNode->m_pParent = pParent;
    pParent->m_children.push_back(pNode);
    m_names[Key(strName)] = pNode;
    *ppNode = pNode;
    return S_OK;
}

HRESULT CQvFrameMenu::Remove(const CString& strName, bool bPopup) {
    CQvFrameMenuNode* pNode = Find(strName);
    if (!pNode || pNode->IsPopup() != bPopup) return S_FALSE;
    if (--pNode->m_lUses > 0) return S_OK;
    auto& siblings = pNode->m_pParent->m_children;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), pNode), siblings.end());
    Forget(pNode);
    return S_OK;
}

void CQvFrameMenu::Forget(CQvFrameMenuNode* pNode) {
    if (pNode->IsPopup()) {
        auto* pPopup = static_cast<CQvFrameMenuPopup*>(pNode);
        for (CQvFrameMenuNode* pChild : std::vector<CQvFrameMenuNode*>(pPopup->m_children)) Forget(pChild);
        pPopup->m_children.clear();
    }
    m_names.erase(Key(pNode->m_strName));
    pNode->m_pParent = nullptr;
    pNode->ReleaseNode();
}

HRESULT CQvFrameMenu::Apply() {
    ++m_lApplyCount;
    if (m_onApply) m_onApply();
    return S_OK;
}
