#include "qvlayout.h"
#include "qtwidget.h"
#include "qvregvalue.h"
#include <QWidget>
#include <algorithm>
#include <cmath>

namespace {
bool Horizontal(EQvLayoutEdge e) { return e == eQvLeft || e == eQvRight; }
int Get(const CRect& r, EQvLayoutEdge e) {
    switch (e) {
    case eQvLeft: return r.left;
    case eQvTop: return r.top;
    case eQvRight: return r.right;
    default: return r.bottom;
    }
}
}  // namespace

// ---- nodes

CQvLayoutNode::CQvLayoutNode(CQvLayoutFactory* factory, CQvLayoutNode* root, HWND wnd)
    : factory_(factory), root_(root), wnd_(wnd) {
    if (!root_) {
        ::GetClientRect(wnd_, &original_);
    } else {
        ::GetWindowRect(wnd_, &original_);
        POINT tl{original_.left, original_.top};
        POINT br{original_.right, original_.bottom};
        ::ScreenToClient(root_->wnd_, &tl);
        ::ScreenToClient(root_->wnd_, &br);
        original_ = CRect(tl, br);
    }
    current_ = original_;
}

CQvLayoutNode* CQvLayoutNode::Attach(EQvLayoutEdge edge, CQvLayoutNode* target, EQvLayoutEdge targetEdge, int offset) {
    if (!target || Horizontal(edge) != Horizontal(targetEdge)) return this;
    rule_[edge] = true;
    rules_[edge] = Rule{false, target, targetEdge, offset, 1.0};
    return this;
}

CQvLayoutNode* CQvLayoutNode::Follow(EQvLayoutEdge edge, CQvLayoutNode* target, EQvLayoutEdge targetEdge, double factor) {
    if (!target || Horizontal(edge) != Horizontal(targetEdge)) return this;
    rule_[edge] = true;
    rules_[edge] = Rule{true, target, targetEdge, 0, factor};
    return this;
}

CQvLayoutNode* CQvLayoutNode::KeepSize(BOOL width, BOOL height) {
    keepWidth_ = width != FALSE;
    keepHeight_ = height != FALSE;
    return this;
}

void CQvLayoutNode::SetMinSize(CWnd* wnd) {
    CRect r;
    if (wnd) wnd->GetClientRect(&r);
    SetMinSize(r.Width(), r.Height());
    // A top-level window cannot be made smaller by the user either.
    QWidget* w = wnd ? qv::ui::WidgetOf(wnd->m_hWnd) : nullptr;
    if (w && w->isWindow()) w->setMinimumSize(w->size());
}

void CQvLayoutNode::SetMinSize(int cx, int cy) { min_ = CSize(cx, cy); }

int CQvLayoutNode::OriginalEdge(EQvLayoutEdge edge) const { return Get(original_, edge); }

int CQvLayoutNode::Edge(EQvLayoutEdge edge) const {
    const_cast<CQvLayoutNode*>(this)->Compute(0);
    return Get(current_, edge);
}

void CQvLayoutNode::Compute(int depth) {
    if (pass_ == factory_->pass_) return;
    pass_ = factory_->pass_;
    if (!root_) {
        CRect r;
        ::GetClientRect(wnd_, &r);
        current_ = CRect(0, 0, std::max(r.Width(), int(min_.cx)), std::max(r.Height(), int(min_.cy)));
        return;
    }
    // Against rules that go round in a circle: a node too deep keeps where it was.
    if (depth > 64) return;
    double value[4];
    bool set[4];
    for (int e = 0; e < 4; ++e) {
        set[e] = rule_[e];
        if (!rule_[e]) continue;
        const Rule& rule = rules_[e];
        rule.target->Compute(depth + 1);
        const int now = Get(rule.target->current_, rule.targetEdge);
        if (rule.follow) {
            const int then = rule.target->OriginalEdge(rule.targetEdge);
            value[e] = OriginalEdge(EQvLayoutEdge(e)) + rule.factor * (now - then);
        } else {
            value[e] = now + rule.offset;
        }
    }
    // An edge without a rule stays where it was, unless the node keeps its size in that
    // direction: then it moves with the tied edge.
    const auto place = [&](int lo, int hi, int size, bool keep, int& outLo, int& outHi, int origLo) {
        outLo = origLo;
        outHi = origLo + size;
        if (set[lo]) outLo = int(std::lround(value[lo]));
        if (set[hi]) outHi = int(std::lround(value[hi]));
        if (keep) {
            if (set[lo]) outHi = outLo + size;
            else if (set[hi]) outLo = outHi - size;
        }
        if (outHi < outLo) outHi = outLo;
    };
    int left = 0, right = 0, top = 0, bottom = 0;
    place(eQvLeft, eQvRight, original_.Width(), keepWidth_, left, right, original_.left);
    place(eQvTop, eQvBottom, original_.Height(), keepHeight_, top, bottom, original_.top);
    current_ = CRect(left, top, right, bottom);
}

// ---- the factory

CQvLayoutFactory::~CQvLayoutFactory() { RemoveAll(); }

void CQvLayoutFactory::RemoveAll() {
    listeners_.clear();
    nodes_.clear();
}

CQvLayoutNode* CQvLayoutFactory::CreateRelativeNode(CWnd* wnd) {
    if (!wnd || !wnd->m_hWnd) return nullptr;
    nodes_.push_back(std::unique_ptr<CQvLayoutNode>(new CQvLayoutNode(this, nullptr, wnd->m_hWnd)));
    return nodes_.back().get();
}

CQvLayoutNode* CQvLayoutFactory::CreateWindowNode(CQvLayoutNode* root, CWnd* wnd) {
    if (!root || !wnd || !wnd->m_hWnd) return nullptr;
    // One node per window: asking again gives the node with its rules.
    for (auto& node : nodes_)
        if (node->root_ == root && node->wnd_ == wnd->m_hWnd) return node.get();
    nodes_.push_back(std::unique_ptr<CQvLayoutNode>(new CQvLayoutNode(this, root, wnd->m_hWnd)));
    return nodes_.back().get();
}

CQvLayoutNode* CQvLayoutFactory::CreateWindowNode(CQvLayoutNode* root, UINT ctrlId) {
    if (!root) return nullptr;
    return CreateWindowNode(root, CWnd::FromHandle(::GetDlgItem(root->wnd_, int(ctrlId))));
}

void CQvLayoutFactory::Apply(CQvLayoutNode* root) {
    if (!root || !::IsWindow(root->wnd_)) return;
    ++pass_;
    root->Compute(0);
    for (auto& node : nodes_) {
        if (node->root_ != root || !::IsWindow(node->wnd_)) continue;
        node->Compute(0);
        CRect now;
        ::GetWindowRect(node->wnd_, &now);
        POINT tl{now.left, now.top};
        ::ScreenToClient(root->wnd_, &tl);
        const CRect& want = node->current_;
        if (tl.x != want.left || tl.y != want.top || now.Width() != want.Width() || now.Height() != want.Height())
            ::MoveWindow(node->wnd_, want.left, want.top, want.Width(), want.Height(), TRUE);
    }
}

CQvLayoutListener* CQvLayoutFactory::CreateLayoutListener(CWnd* wnd, CQvLayoutNode* root, LPCWSTR registryKey, BOOL size,
                                                          BOOL position, BOOL maximized) {
    if (!wnd || !wnd->m_hWnd || !root) return nullptr;
    listeners_.push_back(std::unique_ptr<CQvLayoutListener>(
        new CQvLayoutListener(this, wnd->m_hWnd, root, registryKey, size, position, maximized)));
    CQvLayoutListener* l = listeners_.back().get();
    l->RestorePlacement();
    Apply(root);
    return l;
}

// ---- the listener

CQvLayoutListener::CQvLayoutListener(CQvLayoutFactory* factory, HWND wnd, CQvLayoutNode* root, LPCWSTR key, BOOL size,
                                     BOOL position, BOOL maximized)
    : factory_(factory), wnd_(wnd), root_(root), key_(key ? key : L""), size_(size), position_(position),
      maximized_(maximized) {
    cookie_ = qv::ui::AddMessageObserver(wnd_, [this](HWND, UINT message, WPARAM, LPARAM) {
        if (message == WM_SIZE) factory_->Apply(root_);
        else if (message == WM_DESTROY) SavePlacement();
    });
}

CQvLayoutListener::~CQvLayoutListener() {
    if (cookie_) qv::ui::RemoveMessageObserver(wnd_, cookie_);
}

BOOL CQvLayoutListener::SavePlacement() {
    if (key_.IsEmpty() || !::IsWindow(wnd_)) return FALSE;
    // The position of the window and the size of its client area: a frame of unknown size before
    // the window is shown cannot make it grow from one start to the next.
    CWnd* wnd = CWnd::FromHandle(wnd_);
    WINDOWPLACEMENT p;
    if (!wnd->GetWindowPlacement(&p)) return FALSE;
    CRect client;
    wnd->GetClientRect(&client);
    BOOL ok = TRUE;
    ok &= CQvRegistry::SetValue(key_, L"Left", long(p.rcNormalPosition.left));
    ok &= CQvRegistry::SetValue(key_, L"Top", long(p.rcNormalPosition.top));
    if (p.showCmd != SW_SHOWMAXIMIZED) {
        ok &= CQvRegistry::SetValue(key_, L"Width", long(client.Width()));
        ok &= CQvRegistry::SetValue(key_, L"Height", long(client.Height()));
    }
    ok &= CQvRegistry::SetValue(key_, L"Maximized", long(p.showCmd == SW_SHOWMAXIMIZED));
    return ok;
}

BOOL CQvLayoutListener::RestorePlacement() {
    if (key_.IsEmpty() || !::IsWindow(wnd_)) return FALSE;
    long left = 0, top = 0, width = 0, height = 0, maximized = 0;
    if (!CQvRegistry::GetValue(key_, L"Width", width) || !CQvRegistry::GetValue(key_, L"Height", height)) return FALSE;
    CQvRegistry::GetValue(key_, L"Left", left);
    CQvRegistry::GetValue(key_, L"Top", top);
    CQvRegistry::GetValue(key_, L"Maximized", maximized);
    CWnd* wnd = CWnd::FromHandle(wnd_);
    CRect window, client;
    wnd->GetWindowRect(&window);
    wnd->GetClientRect(&client);
    if (CWnd* parent = wnd->GetParent(); parent && (wnd->GetStyle() & WS_CHILD)) parent->ScreenToClient(&window);
    // The remembered size never goes below the smallest the layout allows.
    const int cx = size_ ? std::max<int>(int(width), int(root_->min_.cx)) : client.Width();
    const int cy = size_ ? std::max<int>(int(height), int(root_->min_.cy)) : client.Height();
    const int x = position_ ? int(left) : window.left;
    const int y = position_ ? int(top) : window.top;
    wnd->MoveWindow(x, y, cx + window.Width() - client.Width(), cy + window.Height() - client.Height(), TRUE);
    if (maximized_ && maximized && wnd->IsWindowVisible()) wnd->ShowWindow(SW_SHOWMAXIMIZED);
    return TRUE;
}
