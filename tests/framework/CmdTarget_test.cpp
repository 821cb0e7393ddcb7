#include "framework/CmdTarget.h"
#include "framework/Document.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> g_calls;

class CTarget : public CCmdTarget
{
public:
    explicit CTarget(std::string name)
        : m_name(std::move(name))
    {}
    bool OnCmdMsg(int nId) override { return DispatchCommand(*this, kTable, nId); }
    void OnA() { g_calls.push_back(m_name + ".A"); }
    void OnB() { g_calls.push_back(m_name + ".B"); }

    static const CommandEntry<CTarget> kTable[2];

private:
    std::string m_name;
};

const CommandEntry<CTarget> CTarget::kTable[2] = {{10, &CTarget::OnA}, {20, &CTarget::OnB}};

class COnlyB : public CCmdTarget
{
public:
    bool OnCmdMsg(int nId) override { return DispatchCommand(*this, kTable, nId); }
    void OnB() { g_calls.push_back("onlyB.B"); }
    static const CommandEntry<COnlyB> kTable[1];
};

const CommandEntry<COnlyB> COnlyB::kTable[1] = {{20, &COnlyB::OnB}};

TEST(CommandRouting, TheFirstTargetWhoseTableHasTheIdHandlesIt)
{
    g_calls.clear();
    COnlyB view;
    CTarget doc("doc");
    EXPECT_TRUE(RouteCommand(20, {&view, &doc}));
    EXPECT_TRUE(RouteCommand(10, {&view, nullptr, &doc}));
    EXPECT_FALSE(RouteCommand(30, {&view, &doc}));
    EXPECT_EQ(g_calls, (std::vector<std::string>{"onlyB.B", "doc.A"}));
}

class CRecordingView : public CView
{
public:
    CRecordingView(std::vector<std::pair<CView*, int>>& log, CDocument* pDoc = nullptr)
        : m_log(log)
        , m_pDoc(pDoc)
    {}
    void OnUpdate(CView*, int nHint) override
    {
        m_log.emplace_back(this, nHint);
        if (m_pDoc != nullptr)
            m_pDoc->RemoveView(this);
    }

private:
    std::vector<std::pair<CView*, int>>& m_log;
    CDocument* m_pDoc;
};

class CPlainDoc : public CDocument
{
public:
    bool OnCmdMsg(int) override { return false; }
};

TEST(DocumentViews, EveryViewButTheSenderIsToldInOrder)
{
    std::vector<std::pair<CView*, int>> log;
    CPlainDoc doc;
    CRecordingView a(log), b(log), c(log);
    doc.AddView(&a);
    doc.AddView(&b);
    doc.AddView(&b);
    doc.AddView(&c);
    doc.UpdateAllViews(nullptr, 1);
    doc.UpdateAllViews(&b, 0);
    doc.RemoveView(&a);
    doc.UpdateAllViews(nullptr, 0);
    EXPECT_EQ(log, (std::vector<std::pair<CView*, int>>{
                       {&a, 1}, {&b, 1}, {&c, 1}, {&a, 0}, {&c, 0}, {&b, 0}, {&c, 0}}));
}

TEST(DocumentViews, AViewMayRemoveItselfWhileBeingTold)
{
    std::vector<std::pair<CView*, int>> log;
    CPlainDoc doc;
    CRecordingView leaving(log, &doc), staying(log);
    doc.AddView(&leaving);
    doc.AddView(&staying);
    doc.UpdateAllViews(nullptr, 0);
    doc.UpdateAllViews(nullptr, 1);
    EXPECT_EQ(log,
              (std::vector<std::pair<CView*, int>>{{&leaving, 0}, {&staying, 0}, {&staying, 1}}));
}

} // namespace
