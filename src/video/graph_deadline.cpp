#include "core/win32.h"

#include "video/graph_deadline.h"

#include <atomic>
#include <cwchar>
#include <new>

namespace {

// Past this many stuck workers, loads are refused at once: each holds a thread and a graph. A
// worker waiting in RenderFile for a first frame cannot be called back (the graph's Abort does
// nothing, Stop and RemoveFilter wait for the render), so the checks before the graph refuse
// every file known to leave one waiting.
constexpr long kMaxStuckWorkers = 8;
constexpr std::size_t kNameLength = MAX_PATH;
// How long a worker that has finished may take to set its event, however loaded the machine.
constexpr DWORD kSetEventMs = 10000;

enum JobState : long { kRunning, kDone, kAbandoned };

// Shared by the caller and the worker. Whoever the state says owns it at the end deletes it: the
// caller when the worker finished in time (once the worker has set the event, its last touch), the
// worker when the caller gave up on it. So a load that ends holds no job a worker still has to
// let go of.
struct RenderJob {
    std::atomic<long> state{kRunning};
    IGraphBuilder* graph = nullptr; // the worker's own reference
    wchar_t name[kNameLength] = {};
    HRESULT result = E_PENDING;
    HANDLE finished = nullptr;
};

std::atomic<long> g_stuck{0};

void Delete(RenderJob* job) {
    if (job->finished) CloseHandle(job->finished);
    delete job;
}

HRESULT RenderAndMeasure(IGraphBuilder* graph, const wchar_t* name) {
    HRESULT hr = graph->RenderFile(name, nullptr);
    if (FAILED(hr)) return hr;
    // The duration makes the source parse its streams; some decoders block here instead.
    IMediaSeeking* seeking = nullptr;
    if (SUCCEEDED(graph->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&seeking)))) {
        LONGLONG duration = 0;
        seeking->GetDuration(&duration);
        seeking->Release();
    }
    // A pause prerolls the first samples, where a stuck decoder shows; stopped again for Play.
    IMediaControl* control = nullptr;
    if (SUCCEEDED(graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&control)))) {
        OAFilterState state = 0;
        if (SUCCEEDED(control->Pause())) control->GetState(kGraphDeadlineMs, &state);
        control->Stop();
        control->Release();
    }
    return hr;
}

DWORD WINAPI RenderWorker(void* parameter) {
    auto* job = static_cast<RenderJob*>(parameter);
    const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    job->result = RenderAndMeasure(job->graph, job->name);
    job->graph->Release();
    job->graph = nullptr;
    if (SUCCEEDED(com)) CoUninitialize();
    long running = kRunning;
    if (job->state.compare_exchange_strong(running, kDone)) {
        SetEvent(job->finished); // the caller owns the job from here on
    } else {                     // abandoned: no one waits for it
        g_stuck.fetch_sub(1);
        Delete(job);
    }
    return 0;
}

} // namespace

HRESULT RenderFileWithDeadline(IGraphBuilder* graph, const wchar_t* fileName, DWORD deadlineMs) {
    if (!graph || !fileName || std::wcslen(fileName) >= kNameLength) return E_INVALIDARG;
    if (g_stuck.load() >= kMaxStuckWorkers) return VFW_E_TIMEOUT;
    auto* job = new (std::nothrow) RenderJob;
    if (!job) return E_OUTOFMEMORY;
    std::wcscpy(job->name, fileName);
    job->finished = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    job->graph = graph;
    graph->AddRef();
    HANDLE thread =
        job->finished ? CreateThread(nullptr, 0, RenderWorker, job, 0, nullptr) : nullptr;
    if (!thread) {
        graph->Release();
        Delete(job);
        return E_OUTOFMEMORY;
    }
    CloseHandle(thread); // never joined: a stuck worker must not hold up the caller or shutdown
    WaitForSingleObject(job->finished, deadlineMs);
    long running = kRunning;
    if (job->state.compare_exchange_strong(running, kAbandoned)) {
        g_stuck.fetch_add(1);
        return VFW_E_TIMEOUT; // the worker deletes the job
    }
    // Done, maybe only just: the worker sets the event next, its last touch of the job.
    const HRESULT result = job->result;
    if (WaitForSingleObject(job->finished, kSetEventMs) == WAIT_OBJECT_0) Delete(job);
    return result; // else it is left, rather than freed under the worker
}

long StuckGraphWorkers() {
    return g_stuck.load();
}
