// What the chat benchmarks share (included, not built on its own): the QML modules a chat pane
// loads, compiled in, and the one application of the run.
#pragma once

#include "../view/BenchViewSupport.h"

#include <QQuickStyle>
#include <QtQml/qqmlextensionplugin.h>

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

} // namespace benchchat
