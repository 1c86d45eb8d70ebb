// Builds a media graph on a worker thread with a deadline: the platform's decoders may never
// answer for a damaged file, and a load must end in its error within seconds instead.
#pragma once

#include "core/win32.h"

#include <dshow.h>

// How long a graph may take to render a file, report its duration and preroll: a load keeps
// within 3 s. The platform answers a real file in well under half a second, even with its
// plug-in registry cold; for a video whose first frame never decodes it answers never, raising
// no event on the way, so nothing shorter than this deadline tells such a file apart.
constexpr DWORD kGraphDeadlineMs = 2500;

// Renders the file into the graph, asks its duration and prerolls it (paused, then stopped) on a
// worker thread. The worker holds its own reference to the graph: a worker that misses the
// deadline is left to finish (or not) on its own, touches nothing else, and is never waited for
// again. Returns the render's result, or
// VFW_E_TIMEOUT when the deadline passed or too many earlier workers are still stuck.
HRESULT RenderFileWithDeadline(IGraphBuilder* graph, const wchar_t* fileName,
                               DWORD deadlineMs = kGraphDeadlineMs);

// Workers that missed their deadline and have not finished yet.
long StuckGraphWorkers();
