#include "FakeSidecar.h"

#include "NodeDetector.h"
#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QStandardPaths>

namespace brinmoor::test {

namespace {
const char* const fakeScript = BRINMOOR_SOURCE_DIR "/tests/agent/fakes/fake-sidecar.mjs";
}

QString FakeSidecar::node()
{
    static const QString path = QStandardPaths::findExecutable(QStringLiteral("node"));
    return path;
}

FakeSidecar::FakeSidecar(const QJsonObject& script) : m_oldDir(qgetenv("BRINMOOR_SIDECAR_DIR"))
{
    for (ChatProvider p : {ChatProvider::Claude, ChatProvider::Codex})
        QFile::copy(QString::fromUtf8(fakeScript), m_dir.filePath(Sidecar::baseName(p) + QStringLiteral(".mjs")));
    QFile f(m_dir.filePath(QStringLiteral("script.json")));
    f.open(QIODevice::WriteOnly);
    f.write(QJsonDocument(script).toJson());
    f.close();
    qputenv("BRINMOOR_SIDECAR_DIR", m_dir.path().toUtf8());
    qputenv("FAKE_SIDECAR_LOG", m_dir.filePath(QStringLiteral("commands.log")).toUtf8());
    qputenv("FAKE_SIDECAR_SCRIPT", f.fileName().toUtf8());
}

FakeSidecar::~FakeSidecar()
{
    qputenv("BRINMOOR_SIDECAR_DIR", m_oldDir);
    qunsetenv("FAKE_SIDECAR_LOG");
    qunsetenv("FAKE_SIDECAR_SCRIPT");
}

SidecarTools FakeSidecar::tools(std::optional<QString> tool) const
{
    SidecarTools t = SidecarTools::real();
    t.findNode = [](QObject*, std::function<void(std::optional<QString>)> done) { done(node()); };
    t.locateTool = [tool](ChatProvider, const std::optional<QString>&) { return tool; };
    return t;
}

QList<QJsonObject> FakeSidecar::commands() const
{
    QFile f(m_dir.filePath(QStringLiteral("commands.log")));
    QList<QJsonObject> out;
    if (!f.open(QIODevice::ReadOnly))
        return out;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (!line.isEmpty())
            out.append(QJsonDocument::fromJson(line).object());
    return out;
}

QStringList FakeSidecar::commandNames() const
{
    QStringList names;
    for (const QJsonObject& c : commands())
        names << c.value(QStringLiteral("cmd")).toString();
    return names;
}

bool FakeSidecar::waitForCommand(const QString& name, int nth) const
{
    return waitUntil([&] { return commandNames().count(name) >= nth; }, 20000);
}

SessionUnderTest::SessionUnderTest(const FakeSidecar& fake, ChatProvider provider, std::optional<QString> resume,
                                   bool autoCompact, std::optional<QString> tool)
    : session(QUuid::createUuid(), fake.dir(), false, resume, provider, autoCompact)
{
    session.setTools(fake.tools(tool));
    session.onState = [this](const QUuid&, PaneState s) { reported.append(s); };
}

bool SessionUnderTest::startAndWait(const FakeSidecar& fake)
{
    session.startIfNeeded(std::nullopt);
    return fake.waitForCommand(QStringLiteral("start"));
}

QJsonObject ev(const QString& name, QJsonObject fields)
{
    fields.insert(QStringLiteral("ev"), name);
    return fields;
}

QJsonArray answer(std::initializer_list<QJsonObject> events)
{
    QJsonArray a;
    for (const QJsonObject& e : events)
        a.append(QJsonObject{{QStringLiteral("ev"), e}});
    return a;
}

bool processRunning(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray s = stat.readAll();
    const qsizetype close = s.lastIndexOf(')');
    return close >= 0 && close + 2 < s.size() && s.at(close + 2) != 'Z';
}

// Live processes whose parent is `pid`, and theirs.
QList<qint64> descendants(qint64 pid)
{
    QList<qint64> out;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool ok = false;
        const qint64 child = entry.toLongLong(&ok);
        if (!ok)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(child));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray s = stat.readAll();
        const QList<QByteArray> fields = s.mid(s.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields.at(1).toLongLong() == pid && fields.at(0) != "Z")
            out << child << descendants(child);
    }
    return out;
}

} // namespace brinmoor::test
