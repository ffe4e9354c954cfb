// What the whole-window benchmarks share: a sandboxed data folder holding one workspace of terminal
// panes, and the real main window loaded from it the way the program loads it.
#pragma once

#include "../../tests/support/SeedState.h"

#include <QDir>
#include <QFile>
#include <QQmlApplicationEngine>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QUuid>

namespace benchapp {

// Writes <root>/data/Brinmoor/state.json: one selected workspace of `panes` terminal sessions, each
// in its own folder <root>/projects/p<i>. Returns the sessions' ids in order.
inline QList<QUuid> seedTerminals(const QString& root, int panes, const QString& name, int maxRows)
{
    brinmoor::test::SeedWorkspace workspace{QStringLiteral("1D1E0000-0000-4000-8000-000000000001"), name, {}};
    workspace.maxRows = maxRows;
    QList<QUuid> ids;
    for (int i = 0; i < panes; ++i) {
        const QUuid id = QUuid::createUuid();
        ids << id;
        const QString project = QStringLiteral("p%1").arg(i);
        QDir().mkpath(root + QStringLiteral("/projects/") + project);
        brinmoor::test::SeedSession session{id.toString(QUuid::WithoutBraces).toUpper()};
        session.project = project;
        session.sessionLabel.clear();
        workspace.sessions << session;
    }
    QDir().mkpath(root + QStringLiteral("/data/Brinmoor"));
    QFile f(root + QStringLiteral("/data/Brinmoor/state.json"));
    if (f.open(QIODevice::WriteOnly))
        f.write(brinmoor::test::seedState({workspace}, root + QStringLiteral("/projects")));
    return ids;
}

// The main window from the app's own window file; null when it does not load.
inline QQuickWindow* loadMainWindow(QQmlApplicationEngine*& engine)
{
    QQuickStyle::setStyle(QStringLiteral("Basic"));
    engine = new QQmlApplicationEngine;
    engine->addImportPath(QStringLiteral("qrc:/"));
    engine->load(QUrl(QStringLiteral("qrc:/Brinmoor/Main.qml")));
    return engine->rootObjects().isEmpty() ? nullptr : qobject_cast<QQuickWindow*>(engine->rootObjects().first());
}

} // namespace benchapp
