#pragma once
// How the window renders a worker notice, through its view. Runs on the
// window's thread; the Qt window, tavrinctl and the tests share it.
struct WorkerNotice;
class UpdaterController;

void RenderNotice(UpdaterController& controller, const WorkerNotice& notice);

// Rebuilds the instrument list from the discovered list, "%s (%s)" per
// record; returns the index of the last record whose ip is `address`
// (-1 when none or `address` is empty).
int FillInstrumentList(UpdaterController& controller, const char* address);
