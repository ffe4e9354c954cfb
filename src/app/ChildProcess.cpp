#include "ChildProcess.h"

#include <QProcess>

#include <unistd.h>

namespace brinmoor {

void detachFromTerminal(QProcess& process)
{
    process.setStandardInputFile(QProcess::nullDevice());
    process.setChildProcessModifier([] { ::setsid(); });
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
