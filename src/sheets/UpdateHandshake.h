#pragma once

#include <QList>
#include <QString>

class QObject;

namespace brinmoor {

// The new build's side of an update. Before the swap, the swap script asks it for its version;
// after the swap, it waits for the new build to say that its window is up, and takes the update
// back when it does not (UpdateChecker, update-swap.sh).
namespace UpdateHandshake {

// When the only argument is "--version": prints "Brinmoor <version>" and returns true, and the
// caller ends at once. Called first thing, so the answer opens no window and touches neither the
// data folder nor its lock.
bool answerVersion(int argc, char** argv);

// The marker file named by BRINMOOR_UPDATE_MARKER (set by the swap script for the build on
// trial), taken out of the environment so that no child inherits it and kept for the two calls
// below; "" when none.
QString takeStartMarker();

// On trial: tells the swap that the user asked this build to quit (<marker>.quit), so that its
// end is not taken for a fault of its own. Nothing when not on trial.
void confirmUserQuit();

// On trial: tells the swap that this build could not run because another copy holds the data
// folder (<marker>.another-copy), which is no fault of the release. Nothing when not on trial.
void reportAnotherCopy();

// Writes `marker` once the first of `roots` that is a window has drawn its first frame. Nothing
// when `marker` is "".
void confirmStartWhenShown(const QList<QObject*>& roots, const QString& marker);

} // namespace UpdateHandshake

} // namespace brinmoor
