#pragma once

#include <QString>
#include <QStringList>

class QProcess;

namespace brinmoor {

// Children the application starts that need no terminal (login shells, tool probes, the editor,
// the updater's script) run in a session of their own, with no controlling terminal, and read the
// null device. Started from a terminal, the application would otherwise hand that terminal to a
// child in another process group: an interactive login shell then stops itself (SIGTTIN) before
// it runs anything, and waits for ever.
//
// Sets up `process` that way before it is started. The new session is also a process group led
// by the child, so signalling minus its pid reaches everything it started.
void detachFromTerminal(QProcess& process);

// Gives the application itself the null device as standard input when it is a terminal. Nothing
// of the application reads it, and children started by Qt itself (xdg-open for links and folders)
// inherit it: they would read the user's terminal behind the shell's back. The controlling
// terminal stays (Ctrl+C there still ends the app); the children above leave it by their session.
void releaseTerminalInput();

// Starts `program` detached from the application (it outlives it) and from any terminal, as
// above; its output goes where the application's goes. False when it could not be started.
bool startDetached(const QString& program, const QStringList& arguments);

} // namespace brinmoor
