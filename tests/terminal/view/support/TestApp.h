#pragma once

#include "support/QtTestSupport.h"

#include <QElapsedTimer>
#include <functional>

// The one application object of a test executable, made on first use (offscreen under ctest).
void ensureGuiApp();

using brinmoor::test::waitUntil;

// Runs the event loop for about `ms` milliseconds.
void spin(int ms);
