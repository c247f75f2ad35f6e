#pragma once
// The clean-up run over the queued folders.
#include <windows.h>
#include <string>
#include <vector>

#include "engine/planning/Planner.h"

class ICleanupHost;

// Cleans every folder of `queue`, logs one result line per folder and a
// summary, and empties the queue. The queue may grow while the run goes on (the
// host's KeepGoing may add to it): its length is read anew before every folder.
void RunCleanup(ICleanupHost& host, std::vector<std::wstring>& queue, const CLEANUP_OPTIONS& options);
