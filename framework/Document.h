#pragma once

#include "framework/CmdTarget.h"

#include <vector>

// A document and the views that show it. The document tells every view to refresh after
// it changes; a view registers itself for as long as it lives. User-interface thread only.

class CDocument;

class CView
{
public:
    virtual ~CView() = default;

    // Called by the document's UpdateAllViews after the document changed. sender is the view
    // that caused the change, or null; nHint tells what changed (the document defines the
    // values). User-interface thread.
    virtual void OnUpdate(CView* pSender, int nHint) = 0;
};

class CDocument : public CCmdTarget
{
public:
    CDocument() = default;
    ~CDocument() override = default;
    CDocument(const CDocument&) = delete;
    CDocument& operator=(const CDocument&) = delete;

    // Registers pView (once); it is told of every later update until RemoveView.
    void AddView(CView* pView);
    void RemoveView(CView* pView);

    // Calls OnUpdate(pSender, nHint) on every registered view except pSender, in the order
    // they were added. A view may add or remove views while it is being told.
    void UpdateAllViews(CView* pSender, int nHint);

private:
    std::vector<CView*> m_views;
};
