#pragma once
// Waits that keep the window alive: on the window's thread a wait runs a local event loop
// until a single-shot timer fires, so the window keeps painting and answering clicks. On
// any other thread the web layer's own wait applies.

namespace ovx {

// Runs a local event loop for `milliseconds` (at least 0) on the calling thread, which must
// be the window's thread. Ends early when the application quits.
void GuiPumpingWait(long long milliseconds);

// Plugs GuiPumpingWait into the web layer's PumpingDelay for calls on the calling thread,
// which must be the window's thread. Call once, after the QApplication exists.
void InstallGuiPumpingDelay();

}  // namespace ovx
