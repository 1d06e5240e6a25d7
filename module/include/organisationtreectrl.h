#pragma once
// COrganisationTreeCtrl: the suite's organisation as a checkable tree: the active Mandanten with
// their persons. A loader thread reads the elements and hands them to the GUI thread, which
// builds the tree; checking a Mandant checks its persons. The ids of the checked persons and of
// the checked Mandanten are kept in two lists for the window that embeds the tree.
#include "sync.h"
#include "thread.h"
#include "treectrl.h"
#include "qvrowhandoff.h"

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

// Element kinds and their bits in the element mask.
enum EOrgElement : long { eOrgMandant = 1, eOrgPerson = 2 };
#define ORG_MASK_MANDANT 0x0001u
#define ORG_MASK_PERSON 0x0002u

// The loader's elements, handed to the GUI thread (wParam: the load's number).
#define WM_ORGTREE_LOADED (WM_APP + 0x320)

class CQvADOConnection;

class COrganisationTreeCtrl : public CTreeCtrlEx {
    DECLARE_DYNAMIC(COrganisationTreeCtrl)
public:
    COrganisationTreeCtrl();
    ~COrganisationTreeCtrl() override;

    // Adds element kinds to the tree's mask; a window to notify when not null.
    HRESULT AddElementMask(DWORD dwMask, HWND hNotifyWnd);
    HRESULT StartThread();
    // Loads the elements below lID (-1: the whole tree) under the mask; the two last values are
    // kept with the request.
    HRESULT LoadTree(long lID, DWORD dwMask, long lParam3, long lParam4);
    // Stops the loader without waiting for it: its statement is cancelled and the thread left to
    // CLeftWorkers; what it still reads goes nowhere.
    virtual void Shutdown();
    // Lists only the persons of "FROM ... WHERE ..." over view_PersonSmall vp (empty: all), and
    // the Mandanten they belong to; taken by the next load.
    void SetPersonSource(const CString& strFromWhere);

    // Checked persons (kind 2) and checked other elements (kind 1), in the order checked.
    std::vector<long> m_arCheckedIDs;
    std::vector<long> m_arCheckedOtherIDs;

    // A loaded element.
    struct Element {
        long lKind = 0;
        long lID = 0;
        long lParentID = 0;  // the Mandant of a person
        CString strText;
    };

protected:
    afx_msg LRESULT OnLoaded(WPARAM wParam, LPARAM lParam);
    afx_msg void OnItemChanged(NMHDR* pNMHDR, LRESULT* pResult);
    DECLARE_MESSAGE_MAP()

private:
    // The loader's steps reach the tree in slices of a few milliseconds: the tree is emptied,
    // the elements are added in order, then the notify window hears of the new tree.
    struct TreeStep {
        enum Kind { Begin, Add, End } kind = Add;
        Element element;
    };
    // What the loader uses, shared by the tree and the loader's thread, so that a tree that goes
    // leaves it to the loader until the loader ends.
    struct Loader {
        HANDLE hEvent = nullptr;  // auto reset: a request, or the stop
        std::atomic<BOOL> bStop{FALSE};
        // The request, under lock.
        std::mutex lock;
        long lRequestID = -1;
        DWORD dwRequestMask = 0;
        long lRequest3 = 0;
        long lRequest4 = 0;
        CString strPersonSource;
        CQvRowHandoff<TreeStep> handoff;
        // The loader's connection while it is open.
        std::mutex connLock;
        CQvADOConnection* pConn = nullptr;
        ~Loader();
        // Ends the statement the loader is in, where a cancel reaches it.
        void Cancel();
    };
    static UINT LoaderProc(LPVOID pParam);
    static void Load(Loader& loader);
    static long ReadElements(Loader& loader, std::vector<Element>& elements);
    void Fill(const std::vector<Element>& elements);
    void TakeStep(const TreeStep& step);
    std::shared_ptr<Loader> m_pLoader;
    std::map<long, HTREEITEM> m_mapMandanten;  // of the tree being filled
    void Checked(HTREEITEM hItem, BOOL bChecked);

    DWORD m_dwMask = 0;
    HWND m_hNotifyWnd = nullptr;
    CWinThread* m_pThread = nullptr;
    bool m_bFilling = false;
    bool m_bCascading = false;
};
