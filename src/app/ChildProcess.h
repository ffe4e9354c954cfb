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

// Sets up `process`, once its program and arguments are set, to end with the application however
// the application ends: a quit, SIGTERM from a logout, SIGKILL, a crash, or Qt ending the process
// when its display goes away. Nothing of the application runs in most of these, so a small shell
// stands between it and the program: it holds the read end of the process's standard input, a pipe
// whose write end only the application holds and never writes, and when that pipe ends while the
// program still runs, it kills its process group, the program and everything it started there. The
// program itself reads the null device. The shell leads a session of its own, as with
// detachFromTerminal(), so signalling minus processId() still reaches it all; the exit status is
// the program's (127 when it could not be run, 128 + n when signal n ended it). The process's
// standard input must be left as QProcess makes it.
void endWithApplication(QProcess& process);

// Gives the application itself the null device as standard input when it is a terminal. Nothing
// of the application reads it, and children started by Qt itself (xdg-open for links and folders)
// inherit it: they would read the user's terminal behind the shell's back. The controlling
// terminal stays (Ctrl+C there still ends the app); the children above leave it by their session.
void releaseTerminalInput();

// Starts `program` detached from the application (it outlives it) and from any terminal, as
// above; its output goes where the application's goes. False when it could not be started.
bool startDetached(const QString& program, const QStringList& arguments);

} // namespace brinmoor
