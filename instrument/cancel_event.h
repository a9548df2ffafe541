#pragma once
// The process-wide cancel event of the SSH channel: it exists while a call
// is in progress, and another thread signals it to abort that call.
// Signalling and destroying are serialised, so a cancel that races with the
// end of the call either reaches it or is dropped, never a closed descriptor.

// Creates the event, unsignalled, when none exists; returns its descriptor
// to poll for readability, or -1 when it cannot be created.
int CancelEventCreate();

// Destroys the event at the end of a call; later signals are dropped.
void CancelEventDestroy();

// Signals the event; false when no call is in progress.
bool CancelEventSignal();

// Resets a signalled event; true when it was signalled.
bool CancelEventConsume(int fd);
