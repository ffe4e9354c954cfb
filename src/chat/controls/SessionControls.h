#pragma once

#include <QObject>
#include <QString>
#include <QUrl>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

namespace brinmoor {

// The session controls under a chat pane's composer: the permission-mode, model and effort
// tables (their ids are what the session sends to its sidecar), the display rules of the model
// pill, the mode pill and the context gauge, and the changes the controls make to a session.
// The session is any object with the chat session's properties ("provider", "model",
// "resolvedModel", "effort", "permissionMode", "autoCompact", "paneId") and operations
// ("setPermissionMode", "setModel", "setEffort", "expandedDirectory").
class SessionControls : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
public:
    explicit SessionControls(QObject* parent = nullptr) : QObject(parent) {}

    // Rows {title, mode, icon, desc} for "claude" or "codex" (any other provider: Claude's).
    Q_INVOKABLE static QVariantList modes(const QString& provider);
    // Rows {label, id}, in menu order.
    Q_INVOKABLE static QVariantList models(const QString& provider);
    // Rows {value, label}: low, medium, high, xhigh, max.
    Q_INVOKABLE static QVariantList efforts();

    // "claude-opus-4-8" → "Opus 4.8"; ids not starting with "claude-" unchanged.
    Q_INVOKABLE static QString prettyModel(const QString& id);
    // The chosen model, else the one the sidecar reported; "" for none.
    Q_INVOKABLE static QString activeModel(const QString& model, const QString& resolvedModel);
    // The model pill's text: "Model" without a model, the table's label for a known one, else
    // its pretty form.
    Q_INVOKABLE static QString modelLabel(const QString& provider, const QString& activeModel);
    // Whether a menu row carries the check mark.
    Q_INVOKABLE static bool isActiveModel(const QString& rowId, const QString& activeModel);
    // The row of the mode table for the session's mode, the first row when none matches.
    Q_INVOKABLE static QVariantMap currentMode(const QString& provider, const QString& permissionMode);
    // "High" for none, the table's label, else the text capitalised word by word.
    Q_INVOKABLE static QString effortLabel(const QString& effort);

    // The gauge: percent of the window (window at least 1), truncated and capped at 100.
    Q_INVOKABLE static int contextPercent(qint64 tokens, qint64 window);
    // "alert" at 90 % and more, "warning" from 70 %, else "normal".
    Q_INVOKABLE static QString gaugeLevel(int percent);
    Q_INVOKABLE static QString gaugeTooltip(qint64 tokens, qint64 window, bool autoCompact, qint64 threshold);

    // Control changes. Choosing what is already set changes nothing.
    Q_INVOKABLE static void chooseMode(QObject* session, const QString& mode);
    Q_INVOKABLE static void chooseModel(QObject* session, const QString& id);
    // A new effort restarts the sidecar on the same conversation (the agent reads it at start).
    Q_INVOKABLE static void chooseEffort(QObject* session, const QString& effort);
    // The session's switch, the pane's saved record, then one write of the state file.
    Q_INVOKABLE static void setAutoCompact(QObject* session, bool on);

    // Where the attach dialog opens: the pane's project folder (where its agent runs), or the
    // home folder when that is gone.
    Q_INVOKABLE static QUrl attachFolder(QObject* session);
};

} // namespace brinmoor
