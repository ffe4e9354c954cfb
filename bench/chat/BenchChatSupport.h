// What the chat benchmarks share (included, not built on its own): the QML modules a chat pane
// loads, compiled in, the one application of the run, and the heap it holds.
#pragma once

#include "../view/BenchViewSupport.h"

#include <QQuickStyle>
#include <QtQml/qqmlextensionplugin.h>

#include <malloc.h>

Q_IMPORT_QML_PLUGIN(Brinmoor_AppPlugin)
Q_IMPORT_QML_PLUGIN(Brinmoor_AgentPlugin)
Q_IMPORT_QML_PLUGIN(Brinmoor_ChatPlugin)

namespace benchchat {

// The software renderer always, so that frame times compare from one machine to the next.
inline void ensureQuickApp(const char* programName)
{
    if (QCoreApplication::instance())
        return;
    qputenv("QT_QUICK_BACKEND", "software");
    benchview::ensureGuiApp(programName);
    QQuickStyle::setStyle(QStringLiteral("Basic"));
}

// Bytes the heap holds in use: unlike the resident size, it falls when memory is given back (a
// pane deleted, a draft sent), so that one iteration's figure does not hide in what the one
// before it gave back.
inline double heapMiB()
{
    const struct mallinfo2 m = mallinfo2();
    return double(m.uordblks + m.hblkhd) / (1024.0 * 1024.0);
}

} // namespace benchchat
