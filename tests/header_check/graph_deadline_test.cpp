// The media graph's worker with a deadline, driven by a graph of our own whose RenderFile blocks
// until the test lets it go: a decoder that never answers, without a platform decoder.
#include "core/win32.h"

#include "video/graph_deadline.h"

#include <gtest/gtest.h>

#include <atomic>

namespace {

class BlockingGraph final : public IGraphBuilder {
public:
    explicit BlockingGraph(HRESULT result) : result_(result) {
        release_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    }
    ~BlockingGraph() { CloseHandle(release_); }
    void LetGo() { SetEvent(release_); }
    ULONG References() const { return refs_; }
    std::atomic<int> renders{0};

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        *out = nullptr;
        if (iid != IID_IUnknown && iid != IID_IGraphBuilder) return E_NOINTERFACE;
        *out = this;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override { return --refs_; } // the test owns it
    STDMETHODIMP RenderFile(LPCWSTR, LPCWSTR) override {
        ++renders;
        WaitForSingleObject(release_, INFINITE);
        return result_;
    }
    STDMETHODIMP AddFilter(IBaseFilter*, LPCWSTR) override { return E_NOTIMPL; }
    STDMETHODIMP RemoveFilter(IBaseFilter*) override { return E_NOTIMPL; }
    STDMETHODIMP EnumFilters(IEnumFilters**) override { return E_NOTIMPL; }
    STDMETHODIMP FindFilterByName(LPCWSTR, IBaseFilter**) override { return E_NOTIMPL; }
    STDMETHODIMP ConnectDirect(IPin*, IPin*, const AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
    STDMETHODIMP Reconnect(IPin*) override { return E_NOTIMPL; }
    STDMETHODIMP Disconnect(IPin*) override { return E_NOTIMPL; }
    STDMETHODIMP SetDefaultSyncSource() override { return E_NOTIMPL; }
    STDMETHODIMP Connect(IPin*, IPin*) override { return E_NOTIMPL; }
    STDMETHODIMP Render(IPin*) override { return E_NOTIMPL; }
    STDMETHODIMP AddSourceFilter(LPCWSTR, LPCWSTR, IBaseFilter**) override { return E_NOTIMPL; }
    STDMETHODIMP SetLogFile(DWORD_PTR) override { return E_NOTIMPL; }
    STDMETHODIMP Abort() override { return E_NOTIMPL; }
    STDMETHODIMP ShouldOperationContinue() override { return E_NOTIMPL; }

private:
    std::atomic<ULONG> refs_{1};
    HRESULT result_;
    HANDLE release_ = nullptr;
};

// Waits, without a clock of its own, for a worker to give its reference back.
bool WaitForReferences(const BlockingGraph& graph, ULONG references) {
    for (int i = 0; i < 2000 && graph.References() != references; ++i)
        Sleep(5);
    return graph.References() == references;
}

} // namespace

TEST(GraphDeadline, AnAnswerInTimeIsTheRendersResult) {
    BlockingGraph graph(VFW_S_PARTIAL_RENDER);
    graph.LetGo();
    EXPECT_EQ(RenderFileWithDeadline(&graph, L"x.avi", 20000), VFW_S_PARTIAL_RENDER);
    EXPECT_EQ(graph.renders, 1);
    EXPECT_TRUE(WaitForReferences(graph, 1)) << "the worker kept its reference";
    EXPECT_EQ(RenderFileWithDeadline(nullptr, L"x.avi"), E_INVALIDARG);
    EXPECT_EQ(RenderFileWithDeadline(&graph, std::wstring(400, L'a').c_str()), E_INVALIDARG);
}

TEST(GraphDeadline, AGraphThatNeverAnswersIsLeftToItsWorker) {
    BlockingGraph graph(S_OK);
    const long stuckBefore = StuckGraphWorkers();
    EXPECT_EQ(RenderFileWithDeadline(&graph, L"x.avi", 50), VFW_E_TIMEOUT);
    EXPECT_EQ(StuckGraphWorkers(), stuckBefore + 1);
    EXPECT_EQ(graph.References(), 2u) << "the stuck worker holds the graph, nothing more";
    graph.LetGo(); // the worker ends late: it lets go of the graph and of its own record only
    EXPECT_TRUE(WaitForReferences(graph, 1));
    for (int i = 0; i < 2000 && StuckGraphWorkers() != stuckBefore; ++i)
        Sleep(5);
    EXPECT_EQ(StuckGraphWorkers(), stuckBefore);
}

TEST(GraphDeadline, TooManyStuckWorkersRefuseAtOnce) {
    BlockingGraph graph(S_OK);
    // Workers stuck on other graphs count towards the limit too.
    const long stuckBefore = StuckGraphWorkers();
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(RenderFileWithDeadline(&graph, L"x.avi", 1), VFW_E_TIMEOUT);
    // Past the limit a load is refused without another worker: each worker holds one reference.
    const long ours = StuckGraphWorkers() - stuckBefore;
    EXPECT_GE(ours, 1);
    EXPECT_LT(ours, 20);
    EXPECT_EQ(graph.References(), 1u + static_cast<ULONG>(ours));
    graph.LetGo();
    EXPECT_TRUE(WaitForReferences(graph, 1));
    // A worker gives its reference back before it leaves the count; the next case counts anew.
    for (int i = 0; i < 2000 && StuckGraphWorkers() != stuckBefore; ++i)
        Sleep(5);
    EXPECT_EQ(StuckGraphWorkers(), stuckBefore);
}

// The program then ends with the worker still blocked: nothing joins it, so the end comes (the
// test's time limit catches an end that waits for it), and the graph it holds is never freed.
TEST(GraphDeadline, AWorkerStuckForEverDoesNotHoldUpTheProgramsEnd) {
    auto* graph = new BlockingGraph(S_OK); // left to the stuck worker
    EXPECT_EQ(RenderFileWithDeadline(graph, L"x.avi", 1), VFW_E_TIMEOUT);
    EXPECT_GE(StuckGraphWorkers(), 1);
}
