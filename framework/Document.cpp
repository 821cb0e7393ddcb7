#include "framework/Document.h"

#include <algorithm>

void CDocument::AddView(CView* pView)
{
    if (pView != nullptr && std::find(m_views.begin(), m_views.end(), pView) == m_views.end())
        m_views.push_back(pView);
}

void CDocument::RemoveView(CView* pView)
{
    std::erase(m_views, pView);
}

void CDocument::UpdateAllViews(CView* pSender, int nHint)
{
    const std::vector<CView*> views = m_views;
    for (CView* view : views)
        if (view != pSender && std::find(m_views.begin(), m_views.end(), view) != m_views.end())
            view->OnUpdate(pSender, nHint);
}
