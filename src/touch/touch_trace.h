// The touch trace: up to 1024 triples recorded by the touch diagnostics.
#pragma once

constexpr int kTouchTraceSize = 1024;

// Appends one triple; ignored once the trace is full.
void ttrace(int a, int b, int c);
// Sends "t %3d %3d %d\r" for every entry that is not all zero, then clears and empties it.
void TouchShowTtrace();
// All entries zero, the trace empty.
void ClearTtrace();
// Number of triples recorded.
int TouchTraceCount();
