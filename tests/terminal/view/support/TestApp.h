#pragma once

#include <QElapsedTimer>
#include <functional>

// The one application object of a test executable, made on first use (offscreen under ctest).
void ensureGuiApp();

// Runs the event loop until `done` holds or `timeoutMs` passes; returns whether it held.
bool waitUntil(const std::function<bool()>& done, int timeoutMs = 10000);

// Runs the event loop for about `ms` milliseconds.
void spin(int ms);
