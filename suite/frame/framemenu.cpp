#include "framemenu.h"
#include "framecom.h"

#include <algorithm>
#include <type_traits>

using qvframe::Out;
using qvframe::OutValue;
using qvframe::PutValue;
using qvframe::Text;

namespace {

// Hands the entry out with a reference.
template <class TEntry, class TOut>
HRESULT HandOut(CQvFrameMenuNode* pNode, TOut** ppEntry) {
    auto* pEntry = static_cast<TEntry*>(pNode);
    pEntry->AddRef();
    *ppEntry = pEntry;
    return S_OK;
}

}  // namespace

// ---- commands

HRESULT CQvFrameMenuItem::QueryInterface(REFIID iid, void** ppv) {
    return qvframe::QueryOwn(static_cast<IQvFMenuItem*>(this), IID_IQvFMenuItem, iid, ppv);
}

ULONG CQvFrameMenuItem::Release() { return qvframe::ReleaseOwn(this, m_lRefs); }

HRESULT CQvFrameMenuItem::put_Prompt(BSTR bstrPrompt) { return PutValue(m_strPrompt, Text(bstrPrompt)); }
HRESULT CQvFrameMenuItem::get_Prompt(BSTR* pbstrPrompt) { return Out(pbstrPrompt, m_strPrompt); }
HRESULT CQvFrameMenuItem::put_Checked(BOOL bChecked) { return PutValue(m_bChecked, bChecked ? TRUE : FALSE); }
HRESULT CQvFrameMenuItem::get_Checked(BOOL* pbChecked) { return OutValue(pbChecked, m_bChecked); }

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
    return qvframe::ReleaseOwn(this, m_lRefs);
}

template <class TEntry, class TOut>
HRESULT CQvFrameMenuPopup::CreateEntry(BSTR bstrName, TOut** ppEntry) {
    if (!ppEntry) return E_POINTER;
    *ppEntry = nullptr;
    CQvFrameMenuNode* pNode = nullptr;
    const HRESULT hr = m_pModel->Create(this, Text(bstrName), std::is_same_v<TEntry, CQvFrameMenuPopup>, &pNode);
    if (FAILED(hr)) return hr;
    return HandOut<TEntry>(pNode, ppEntry);
}

template <class TEntry, class TOut>
HRESULT CQvFrameMenuPopup::GetEntry(BSTR bstrName, TOut** ppEntry) {
    if (!ppEntry) return E_POINTER;
    *ppEntry = nullptr;
    CQvFrameMenuNode* pNode = m_pModel->Find(Text(bstrName));
    if (!pNode || pNode->IsPopup() != std::is_same_v<TEntry, CQvFrameMenuPopup>) return E_INVALIDARG;
    return HandOut<TEntry>(pNode, ppEntry);
}

HRESULT CQvFrameMenuPopup::CreatePopup(BSTR bstrName, IQvFMenuPopup** ppPopup) {
    return CreateEntry<CQvFrameMenuPopup>(bstrName, ppPopup);
}
HRESULT CQvFrameMenuPopup::CreateItem(BSTR bstrName, IQvFMenuItem** ppItem) {
    return CreateEntry<CQvFrameMenuItem>(bstrName, ppItem);
}

HRESULT CQvFrameMenuPopup::RemovePopup(BSTR bstrName) { return m_pModel->Remove(Text(bstrName), true); }
HRESULT CQvFrameMenuPopup::RemoveItem(BSTR bstrName) { return m_pModel->Remove(Text(bstrName), false); }

HRESULT CQvFrameMenuPopup::GetPopup(BSTR bstrName, IQvFMenuPopup** ppPopup) {
    return GetEntry<CQvFrameMenuPopup>(bstrName, ppPopup);
}
HRESULT CQvFrameMenuPopup::GetItem(BSTR bstrName, IQvFMenuItem** ppItem) {
    return GetEntry<CQvFrameMenuItem>(bstrName, ppItem);
}

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
