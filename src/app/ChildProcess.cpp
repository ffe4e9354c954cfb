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
