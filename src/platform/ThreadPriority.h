#pragma once

namespace nimbrook {

// Puts the calling thread, and any process it starts from now on, below the
// UI thread: background work that turns busy (a tool printing tens of
// megabytes, a large report being decoded or written out) then cannot starve
// the event loop. Best effort; a failure is logged and ignored.
void lowerCurrentThreadPriority();

} // namespace nimbrook
