#pragma once

#include "ClaudeSession.h"
#include "SidecarTools.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QTemporaryDir>

#include <optional>

namespace brinmoor::test {

// A chat session's sidecar folder holding the scripted fake (tests/agent/fakes/fake-sidecar.mjs)
// under both providers' script names, with its command log and script in the same folder. The
// environment variables that point at them are set for this object's lifetime.
class FakeSidecar {
public:
    // `script`: command name → list of answers (see the fake's header).
    explicit FakeSidecar(const QJsonObject& script = {});
    ~FakeSidecar();

    // Real script lookup (BRINMOOR_SIDECAR_DIR), a fixed Node and a fixed tool path.
    SidecarTools tools(std::optional<QString> tool = QStringLiteral("/bin/true")) const;
    // Every command the sidecar received so far, in order.
    QList<QJsonObject> commands() const;
    QStringList commandNames() const;
    // Waits until the sidecar received a command of that name (its `nth` one, from 1).
    bool waitForCommand(const QString& name, int nth = 1) const;
    QString dir() const { return m_dir.path(); }

    // The Node executable the tests run scripts with.
    static QString node();

private:
    QTemporaryDir m_dir;
    QByteArray m_oldDir;
};

// One session on the fake, its state reports recorded.
struct SessionUnderTest {
    explicit SessionUnderTest(const FakeSidecar& fake, ChatProvider provider = ChatProvider::Claude,
                              std::optional<QString> resume = std::nullopt, bool autoCompact = true,
                              std::optional<QString> tool = QStringLiteral("/bin/true"));
    ClaudeSession session;
    QList<PaneState> reported;  // onState calls, in order
    // Starts and waits until the sidecar received "start".
    bool startAndWait(const FakeSidecar& fake);
};

// An event as one protocol line's object: {"ev": name, ...fields}.
QJsonObject ev(const QString& name, QJsonObject fields = {});
// One scripted answer made of event lines.
QJsonArray answer(std::initializer_list<QJsonObject> events);

// A process that has ended (or become a zombie) is no longer running.
bool processRunning(qint64 pid);
// Live processes whose parent is `pid`, and theirs.
QList<qint64> descendants(qint64 pid);

} // namespace brinmoor::test
