#pragma once
// CQvLayoutFactory: a relative resize layout. A root node stands for a window's client area; a
// window node for a control in it. Rules tie an edge of a node to an edge of another node (or of
// the root) at a fixed distance, or let it follow that edge by a factor of its movement; an
// edge without a rule stays where it was, unless the node keeps its size: then it moves with the
// tied edge (a node that keeps its size and is tied at both edges follows its left or top one).
// A layout listener applies the layout whenever
// the window's size changes and keeps the window's placement under a registry key.
#include "qvui.h"
#include <memory>
#include <vector>

enum EQvLayoutEdge { eQvLeft = 0, eQvTop = 1, eQvRight = 2, eQvBottom = 3 };

class CQvLayoutFactory;

class CQvLayoutNode {
public:
    // The edge stays 'offset' pixels from the target's edge (negative: left of it or above it).
    CQvLayoutNode* Attach(EQvLayoutEdge edge, CQvLayoutNode* target, EQvLayoutEdge targetEdge, int offset);
    // The edge keeps its first distance to the target's edge and moves by factor x the target
    // edge's movement (1.0: it follows; 0.6: it goes 60 % of the way).
    CQvLayoutNode* Follow(EQvLayoutEdge edge, CQvLayoutNode* target, EQvLayoutEdge targetEdge, double factor = 1.0);
    // The node keeps its first width and/or height, whichever of its edges are tied.
    CQvLayoutNode* KeepSize(BOOL width = TRUE, BOOL height = TRUE);
    // For the root: the layout never makes the area smaller than the window is now (or this size).
    void SetMinSize(CWnd* wnd);
    void SetMinSize(int cx, int cy);
    CWnd* GetWnd() const { return CWnd::FromHandle(wnd_); }
    // The rectangle the layout gave the node last (client coordinates of the root's window).
    CRect GetRect() const { return current_; }

private:
    friend class CQvLayoutFactory;
    friend class CQvLayoutListener;
    struct Rule {
        bool follow = false;
        CQvLayoutNode* target = nullptr;
        EQvLayoutEdge targetEdge = eQvLeft;
        int offset = 0;
        double factor = 1.0;
    };
    CQvLayoutNode(CQvLayoutFactory* factory, CQvLayoutNode* root, HWND wnd);
    int Edge(EQvLayoutEdge edge) const;
    int OriginalEdge(EQvLayoutEdge edge) const;
    void Compute(int depth);

    CQvLayoutFactory* factory_;
    CQvLayoutNode* root_;  // null for a root
    HWND wnd_;
    CRect original_;
    CRect current_;
    bool rule_[4] = {false, false, false, false};
    Rule rules_[4];
    bool keepWidth_ = false;
    bool keepHeight_ = false;
    CSize min_;
    unsigned pass_ = 0;
};

class CQvLayoutListener {
public:
    ~CQvLayoutListener();
    // Writes the window's placement now (also done when the window goes).
    BOOL SavePlacement();
    BOOL RestorePlacement();

private:
    friend class CQvLayoutFactory;
    CQvLayoutListener(CQvLayoutFactory* factory, HWND wnd, CQvLayoutNode* root, LPCWSTR key, BOOL size, BOOL position,
                      BOOL maximized);
    CQvLayoutFactory* factory_;
    HWND wnd_;
    CQvLayoutNode* root_;
    CString key_;
    BOOL size_, position_, maximized_;
    int cookie_ = 0;
};

class CQvLayoutFactory {
public:
    CQvLayoutFactory() = default;
    ~CQvLayoutFactory();
    CQvLayoutFactory(const CQvLayoutFactory&) = delete;
    CQvLayoutFactory& operator=(const CQvLayoutFactory&) = delete;

    // The client area of a window.
    CQvLayoutNode* CreateRelativeNode(CWnd* wnd);
    // A control of the root's window, with the rectangle it has now.
    CQvLayoutNode* CreateWindowNode(CQvLayoutNode* root, CWnd* wnd);
    CQvLayoutNode* CreateWindowNode(CQvLayoutNode* root, UINT ctrlId);
    // Applies the layout on every size change of the window; with a key, the window's size and/or
    // position are restored from it now and stored there when the window goes.
    CQvLayoutListener* CreateLayoutListener(CWnd* wnd, CQvLayoutNode* root, LPCWSTR registryKey = nullptr,
                                            BOOL size = TRUE, BOOL position = TRUE, BOOL maximized = FALSE);
    // Places every node of the root after the window's current client size.
    void Apply(CQvLayoutNode* root);
    void RemoveAll();

private:
    friend class CQvLayoutNode;
    std::vector<std::unique_ptr<CQvLayoutNode>> nodes_;
    std::vector<std::unique_ptr<CQvLayoutListener>> listeners_;
    unsigned pass_ = 0;
};
