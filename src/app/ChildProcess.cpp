#include "ChildProcess.h"

#include <QProcess>

#include <fcntl.h>
#include <unistd.h>

namespace brinmoor {

void detachFromTerminal(QProcess& process)
{
    process.setStandardInputFile(QProcess::nullDevice());
    process.setChildProcessModifier([] { ::setsid(); });
}

void endWithApplication(QProcess& process)
{
    // The pipe moves to descriptor 3, which only the watching subshell keeps; the program gets the
    // null device. The pipe ends only when the application is gone: whatever the group still runs
    // is killed then, the shell included. The program and its arguments reach the script as its
    // own arguments, so none of them is ever read as shell text.
    static const QString script = QStringLiteral(R"(exec 3<&0 </dev/null
"$@" 3<&- &
program=$!
{ while read -r _ <&3; do :; done; kill -9 0; } &
watcher=$!
exec 3<&-
wait "$program"
status=$?
kill "$watcher" 2>/dev/null
exit "$status")");
    QStringList arguments{QStringLiteral("-c"), script, QStringLiteral("brinmoor-tied"), process.program()};
    arguments += process.arguments();
    process.setProgram(QStringLiteral("/bin/sh"));
    process.setArguments(arguments);
    process.setChildProcessModifier([] { ::setsid(); });
}

void releaseTerminalInput()
{
    if (!::isatty(STDIN_FILENO))
        return;
    const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (null < 0)
        return;
    ::dup2(null, STDIN_FILENO);  // dup2 clears close-on-exec on the copy: children get it
    ::close(null);
}

bool startDetached(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    detachFromTerminal(process);
    return process.startDetached();
}

} // namespace brinmoor
