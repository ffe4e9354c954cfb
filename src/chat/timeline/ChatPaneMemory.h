#pragma once

#include "ComposerDraft.h"
#include "QuestionFlow.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUuid>
#include <QtQml/qqmlregistration.h>

class QJSEngine;
class QQmlEngine;

namespace brinmoor {

// What a chat pane's view holds of the user's own work beyond the session's published state: the
// unsent draft and its attachments, the question card's choices and typed text, and the reading
// position. It lives with the pane's chat session (a child of it: it goes when the session goes,
// and outlives a restart of the session's sidecar), so a view built again on the session, after
// its workspace was shown again, comes back as the user left it. The draft is the pane's own: for
// a session of the chat host it is kept with the pane (AgentChatHost::paneKeep), so a stop, a
// restart or an agent that died takes nothing the user typed or attached; it goes when the pane
// is closed.
class ChatPaneMemory : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Kept with a chat session: ChatMemory.of(session)")
    Q_PROPERTY(brinmoor::ComposerDraft* draft READ draft CONSTANT)
    Q_PROPERTY(brinmoor::QuestionFlow* questionFlow READ questionFlow CONSTANT)
    // The row at the top of the visible conversation ("": the user follows its end) and how far
    // the top of the visible area lies below the row's top.
    Q_PROPERTY(QString readingRow READ readingRow NOTIFY readingChanged)
    Q_PROPERTY(double readingOffset READ readingOffset NOTIFY readingChanged)
public:
    // `draft`: the pane's kept draft; none: one of its own.
    explicit ChatPaneMemory(QObject* parent = nullptr, ComposerDraft* draft = nullptr);

    // The session's memory, made on first use as a child of the session; null for none.
    static ChatPaneMemory* of(QObject* session);
    // The draft kept with the pane, never made; null when the pane has none.
    static ComposerDraft* keptDraft(const QUuid& paneID);

    // Null once the pane that kept it was closed.
    ComposerDraft* draft() const { return m_draft; }
    QuestionFlow* questionFlow() const { return m_questionFlow; }
    QString readingRow() const { return m_readingRow; }
    double readingOffset() const { return m_readingOffset; }
    // "" for the end of the conversation (the offset is then 0).
    Q_INVOKABLE void keepReadingPosition(const QString& rowId, double offset);

signals:
    void readingChanged();

private:
    QPointer<ComposerDraft> m_draft;
    QuestionFlow* m_questionFlow;
    QString m_readingRow;
    double m_readingOffset = 0;
};

// ChatPaneMemory.of() for QML.
class ChatMemory : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
public:
    explicit ChatMemory(QObject* parent = nullptr) : QObject(parent) {}
    Q_INVOKABLE brinmoor::ChatPaneMemory* of(QObject* session) const;
    // The unsent draft kept with the pane (text, attachments and marks), or null: what a pane
    // whose agent stopped still shows.
    Q_INVOKABLE brinmoor::ComposerDraft* keptDraft(const QString& paneID) const;
};

} // namespace brinmoor
