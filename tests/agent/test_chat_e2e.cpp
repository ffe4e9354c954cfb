// A chat session on the real bundled sidecar and the real Claude Code CLI, talking to our fake
// Messages server on 127.0.0.1: a message and its answer with cost, a tool allowed and run, and
// nothing left running after the pane stops. Prints the time from start to the first event.
#include "ClaudeSession.h"
#include "NodeDetector.h"
#include "support/FakeSidecar.h"

#include "TestEnvironment.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

BRINMOOR_APP_TEST_ENVIRONMENT();

using namespace brinmoor;
using namespace brinmoor::test;

namespace {

QString S(const char* s) { return QString::fromUtf8(s); }

// Read before the test environment moves HOME: the CLI cache is the real user's.
const QByteArray cacheHome = qEnvironmentVariableIsEmpty("XDG_CACHE_HOME") ? qgetenv("HOME") + "/.cache"
                                                                           : qgetenv("XDG_CACHE_HOME");

QString claudeCli()
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(S("XDG_CACHE_HOME"), QString::fromUtf8(cacheHome));
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(FakeSidecar::node(), {S(BRINMOOR_SOURCE_DIR "/tests/agent/sidecar/support/claude-path.mjs")});
    p.waitForFinished(30 * 60 * 1000);  // a first run downloads the CLI
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

// Live processes whose parent is `pid`, and theirs.
QList<qint64> descendants(qint64 pid)
{
    QList<qint64> out;
    for (const QString& entry : QDir(S("/proc")).entryList(QDir::Dirs)) {
        bool ok = false;
        const qint64 child = entry.toLongLong(&ok);
        if (!ok)
            continue;
        QFile stat(S("/proc/%1/stat").arg(child));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray s = stat.readAll();
        const QList<QByteArray> fields = s.mid(s.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields.at(1).toLongLong() == pid && fields.at(0) != "Z")
            out << child << descendants(child);
    }
    return out;
}

} // namespace

TEST(ChatEndToEnd, claude_answers_asks_runs_a_tool_and_leaves_nothing_behind)
{
    const QString cli = claudeCli();
    ASSERT_TRUE(QFile::exists(cli)) << "no Claude CLI: " << cli.toStdString();

    QTemporaryDir work, config;
    const QJsonArray replies{
        QJsonObject{{S("text"), S("Hello there")}, {S("usage"), QJsonObject{{S("input_tokens"), 1200}, {S("output_tokens"), 34}}}},
        QJsonObject{{S("tool"), QJsonObject{{S("name"), S("Bash")},
                                            {S("input"), QJsonObject{{S("command"), S("echo yes > approved.txt")}, {S("description"), S("Write a file")}}}}}},
        QJsonObject{{S("text"), S("Wrote it")}},
    };
    QFile script(work.filePath(S("replies.json")));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(QJsonDocument(replies).toJson());
    script.close();
    QProcess server;
    server.start(FakeSidecar::node(), {S(BRINMOOR_SOURCE_DIR "/tests/agent/fakes/claude-server.mjs"), S("--port"), S("0"),
                                      S("--script"), script.fileName()});
    ASSERT_TRUE(waitUntil([&] { return server.canReadLine(); }, 20000));
    const int port = QJsonDocument::fromJson(server.readLine()).object().value(S("port")).toInt();
    ASSERT_GT(port, 0);

    qputenv("BRINMOOR_SIDECAR_DIR", BRINMOOR_BINARY_DIR "/bin/sidecar");
    qputenv("ANTHROPIC_BASE_URL", QByteArray("http://127.0.0.1:") + QByteArray::number(port));
    qputenv("ANTHROPIC_API_KEY", "test");
    qputenv("CLAUDE_CONFIG_DIR", config.path().toUtf8());
    qputenv("CLAUDE_CODE_DISABLE_NONESSENTIAL_TRAFFIC", "1");
    qputenv("CLAUDE_CODE_MAX_RETRIES", "1");

    ClaudeSession s(QUuid::createUuid(), work.path(), false, std::nullopt, ChatProvider::Claude, true);
    SidecarTools tools = SidecarTools::real();
    tools.findNode = [](QObject*, std::function<void(std::optional<QString>)> done) { done(FakeSidecar::node()); };
    tools.locateTool = [cli](ChatProvider, const std::optional<QString>&) { return std::optional<QString>(cli); };
    s.setTools(tools);
    QElapsedTimer clock;
    clock.start();
    s.startIfNeeded(std::nullopt);
    // The first event the sidecar sends unasked: the CLI's slash commands.
    ASSERT_TRUE(waitUntil([&] { return !s.availableCommands().isEmpty(); }, 60000)) << s.failureText().toStdString();
    std::printf("time from start to the first event: %lld ms\n", clock.elapsed());

    s.sendUser(S("hi"), {});
    ASSERT_TRUE(waitUntil([&] { return s.state() == PaneState::Idle && s.costUsd() > 0; }, 60000)) << s.turnErrorText().toStdString();
    EXPECT_EQ(s.timeline()->rows().last().text, S("Hello there"));
    EXPECT_EQ(s.tokensIn(), 1200);
    EXPECT_EQ(s.tokensOut(), 34);
    EXPECT_TRUE(s.claudeSessionId().has_value());

    s.sendUser(S("write the file"), {});
    ASSERT_TRUE(waitUntil([&] { return s.pendingPermission().has_value(); }, 60000));
    EXPECT_EQ(s.state(), PaneState::Awaiting);
    EXPECT_EQ(s.pendingPermission()->tool, S("Bash"));
    s.resolvePermission(true);
    ASSERT_TRUE(waitUntil([&] { return s.state() == PaneState::Idle && !s.busy(); }, 60000)) << s.turnErrorText().toStdString();
    EXPECT_TRUE(QFile::exists(work.filePath(S("approved.txt"))));
    EXPECT_EQ(s.timeline()->rows().last().text, S("Wrote it"));

    const qint64 sidecar = s.processId();
    const QList<qint64> children = descendants(sidecar);
    ASSERT_FALSE(children.isEmpty()) << "the CLI runs under the sidecar";
    s.stop();
    EXPECT_TRUE(waitUntil([&] {
        if (processRunning(sidecar))
            return false;
        for (qint64 pid : children)
            if (processRunning(pid))
                return false;
        return true;
    }, 20000));
    server.terminate();
    server.waitForFinished();
}
