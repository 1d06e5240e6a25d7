#pragma once
// The host frame's menu: popups and commands that servers create by name, one tree for the menu bar.
// Names are unique in the whole tree (compared without regard to case); a server that creates a
// name that is already there gets the entry that is there, and the entry goes when the last one
// that created it removes it. The window shows the tree when a server applies its changes.
#include "cstring.h"
#include "framecom.h"
#include "qvfint.h"

#include <atomic>
#include <functional>
#include <map>
#include <vector>

class CQvFrameMenu;
class CQvFrameMenuPopup;

// What popups and commands share.
class CQvFrameMenuNode {
public:
    virtual ~CQvFrameMenuNode() = default;
    virtual bool IsPopup() const = 0;
    virtual void AddRefNode() = 0;
    virtual void ReleaseNode() = 0;

    CString m_strName;
    CString m_strCaption;
    BOOL m_bEnabled = TRUE;
    BOOL m_bGroupStart = FALSE;
    long m_lOrder = 0;  // popup position or command number
    long m_lUses = 1;   // servers that created it
    CQvFrameMenuPopup* m_pParent = nullptr;
};

// The properties popups and commands answer alike, through the interface of their kind
// (IQvFMenuItem or IQvFMenu).
template <class TInterface>
class CQvFrameMenuEntry : public TInterface, public CQvFrameMenuNode {
public:
    void AddRefNode() override { this->AddRef(); }
    void ReleaseNode() override { this->Release(); }

    HRESULT get_Name(BSTR* pbstrName) override { return qvframe::Out(pbstrName, m_strName); }
    HRESULT put_Caption(BSTR bstrCaption) override {
        return qvframe::PutValue(m_strCaption, qvframe::Text(bstrCaption));
    }
    HRESULT get_Caption(BSTR* pbstrCaption) override { return qvframe::Out(pbstrCaption, m_strCaption); }
    HRESULT put_Enabled(BOOL bEnabled) override { return qvframe::PutValue(m_bEnabled, bEnabled ? TRUE : FALSE); }
    HRESULT get_Enabled(BOOL* pbEnabled) override { return qvframe::OutValue(pbEnabled, m_bEnabled); }
    HRESULT put_GroupStart(BOOL bGroupStart) override {
        return qvframe::PutValue(m_bGroupStart, bGroupStart ? TRUE : FALSE);
    }
    HRESULT get_GroupStart(BOOL* pbGroupStart) override { return qvframe::OutValue(pbGroupStart, m_bGroupStart); }

protected:
    // The command number or popup position.
    HRESULT PutOrder(long lOrder) { return qvframe::PutValue(m_lOrder, lOrder); }
    HRESULT GetOrder(long* plOrder) const { return qvframe::OutValue(plOrder, m_lOrder); }
};

class CQvFrameMenuItem : public CQvFrameMenuEntry<IQvFMenuItem> {
public:
    explicit CQvFrameMenuItem(CQvFrameMenu* pModel) : m_pModel(pModel) {}
    bool IsPopup() const override { return false; }

    HRESULT QueryInterface(REFIID iid, void** ppv) override;
    ULONG AddRef() override { return ULONG(++m_lRefs); }
    ULONG Release() override;
    HRESULT Reserved4() override { return E_NOTIMPL; }
    HRESULT put_Prompt(BSTR bstrPrompt) override;
    HRESULT get_Prompt(BSTR* pbstrPrompt) override;
    HRESULT put_Checked(BOOL bChecked) override;
    HRESULT get_Checked(BOOL* pbChecked) override;
    HRESULT Reserved13() override { return E_NOTIMPL; }
    HRESULT Reserved14() override { return E_NOTIMPL; }
    HRESULT put_Number(long lNumber) override { return PutOrder(lNumber); }
    HRESULT get_Number(long* plNumber) override { return GetOrder(plNumber); }

    CString m_strPrompt;
    BOOL m_bChecked = FALSE;

private:
    CQvFrameMenu* m_pModel;
    std::atomic<long> m_lRefs{1};
};

// A popup; the top of the tree is one too (with Apply), living inside the frame and counted by it.
class CQvFrameMenuPopup : public CQvFrameMenuEntry<IQvFMenu> {
public:
    // pOuter: the object whose count and other interfaces the popup uses (the frame for the top).
    CQvFrameMenuPopup(CQvFrameMenu* pModel, IUnknown* pOuter = nullptr) : m_pModel(pModel), m_pOuter(pOuter) {}
    bool IsPopup() const override { return true; }

    HRESULT QueryInterface(REFIID iid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT CreatePopup(BSTR bstrName, IQvFMenuPopup** ppPopup) override;
    HRESULT CreateItem(BSTR bstrName, IQvFMenuItem** ppItem) override;
    HRESULT RemovePopup(BSTR bstrName) override;
    HRESULT RemoveItem(BSTR bstrName) override;
    HRESULT GetPopup(BSTR bstrName, IQvFMenuPopup** ppPopup) override;
    HRESULT GetItem(BSTR bstrName, IQvFMenuItem** ppItem) override;
    HRESULT Reserved10() override { return E_NOTIMPL; }
    HRESULT Reserved11() override { return E_NOTIMPL; }
    HRESULT Reserved12() override { return E_NOTIMPL; }
    HRESULT Reserved15() override { return E_NOTIMPL; }
    HRESULT Reserved16() override { return E_NOTIMPL; }
    HRESULT Reserved17() override { return E_NOTIMPL; }
    HRESULT Reserved18() override { return E_NOTIMPL; }
    HRESULT put_Position(long lPosition) override { return PutOrder(lPosition); }
    HRESULT get_Position(long* plPosition) override { return GetOrder(plPosition); }
    HRESULT Apply() override;

    // The children in the order they are shown: by position or number, then as created.
    std::vector<CQvFrameMenuNode*> Children() const;

private:
    friend class CQvFrameMenu;
    // Creates (or finds) the entry of that name and kind and hands it out with a reference.
    template <class TEntry, class TOut>
    HRESULT CreateEntry(BSTR bstrName, TOut** ppEntry);
    template <class TEntry, class TOut>
    HRESULT GetEntry(BSTR bstrName, TOut** ppEntry);

    CQvFrameMenu* m_pModel;
    IUnknown* m_pOuter;
    std::atomic<long> m_lRefs{1};
    std::vector<CQvFrameMenuNode*> m_children;  // each with the tree's reference
};

class CQvFrameMenu {
public:
    explicit CQvFrameMenu(IUnknown* pOuter);
    ~CQvFrameMenu();
    CQvFrameMenu(const CQvFrameMenu&) = delete;
    CQvFrameMenu& operator=(const CQvFrameMenu&) = delete;

    CQvFrameMenuPopup& Root() { return m_root; }
    // The popup or command of that name anywhere in the tree, or null.
    CQvFrameMenuNode* Find(const CString& strName) const;

    // Creates the name under the parent, or hands out the entry of that name (one more use). Fails
    // with E_INVALIDARG for an empty name and with E_FAIL when the name is taken by the other kind.
    HRESULT Create(CQvFrameMenuPopup* pParent, const CString& strName, bool bPopup, CQvFrameMenuNode** ppNode);
    // One use less; at none the entry leaves the tree with everything under it. S_FALSE for an
    // unknown name.
    HRESULT Remove(const CString& strName, bool bPopup);

    // Called on Apply: the window shows the tree again.
    void SetApplyHandler(std::function<void()> handler) { m_onApply = std::move(handler); }
    HRESULT Apply();
    long GetApplyCount() const { return m_lApplyCount; }

private:
    void Forget(CQvFrameMenuNode* pNode);
    static CString Key(const CString& strName);

    CQvFrameMenuPopup m_root;
    std::map<CString, CQvFrameMenuNode*> m_names;
    std::function<void()> m_onApply;
    long m_lApplyCount = 0;
};
