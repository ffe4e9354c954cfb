// A saved state for a test to start from, written in the store's own format: workspaces of
// sessions, with only what a test cares about spelled out.
#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QString>

namespace brinmoor::test {

struct SeedSession {
    QString id;
    QString kind = QStringLiteral("terminal");
    QString project;  // also the folder's name below the projects root
    QString provider = QStringLiteral("claude");
    bool autoApprove = false;
    bool muted = false;
    QString sessionLabel = QStringLiteral("session 1");
    QString conversation = {};   // the chat pane's conversation id, none when empty
    QJsonObject figures = {};    // that conversation's saved figures, none when empty
};

struct SeedWorkspace {
    QString id;
    QString name;
    QList<SeedSession> sessions;
    QString colorHex = QStringLiteral("5b8cee");
    bool bigSideLeft = false;
    int maxRows = 4;
};

// The first workspace is the selected one; each session's folder is <projectsRoot>/<project>.
inline QByteArray seedState(const QList<SeedWorkspace>& workspaces, const QString& projectsRoot)
{
    QJsonArray ws;
    for (const SeedWorkspace& w : workspaces) {
        QJsonArray sessions;
        for (const SeedSession& s : w.sessions) {
            QJsonObject session{{"id", s.id}, {"kind", s.kind}, {"project", s.project},
                                {"directory", projectsRoot + "/" + s.project}, {"sessionLabel", s.sessionLabel},
                                {"autoApprove", s.autoApprove}, {"autoCompact", true}, {"muted", s.muted},
                                {"provider", s.provider}};
            if (!s.conversation.isEmpty())
                session.insert("claudeSessionId", s.conversation);
            if (!s.figures.isEmpty())
                session.insert("figures", s.figures);
            sessions.append(session);
        }
        ws.append(QJsonObject{{"id", w.id}, {"name", w.name}, {"colorHex", w.colorHex}, {"maxRows", w.maxRows},
                              {"bigSideLeft", w.bigSideLeft}, {"sessions", sessions}});
    }
    const QString selected = workspaces.isEmpty() ? QString() : workspaces.first().id;
    return QJsonDocument(QJsonObject{{"workspaces", ws}, {"selected", selected}, {"recents", QJsonArray{}}}).toJson();
}

} // namespace brinmoor::test
