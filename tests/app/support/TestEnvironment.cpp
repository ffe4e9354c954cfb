#include "TestEnvironment.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QThread>

#include <gtest/gtest.h>

#include <functional>

namespace brinmoor::test {

namespace {

// A private HOME and XDG folders, and one GUI application object.
class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        m_home = std::make_unique<QTemporaryDir>();
        useSandboxHome(m_home->path());
        if (qgetenv("QT_QPA_PLATFORM").isEmpty())
            qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "brinmoor-app-tests";
        static char* argv[] = {name, nullptr};
        m_app = std::make_unique<QGuiApplication>(argc, argv);
    }
    void TearDown() override
    {
        m_app.reset();
        m_home.reset();
    }

private:
    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<QGuiApplication> m_app;
};

} // namespace

::testing::Environment* makeQtEnvironment()
{
    return new QtEnvironment;
}

ScopedDataHome::ScopedDataHome() : m_previous(qgetenv("XDG_DATA_HOME"))
{
    qputenv("XDG_DATA_HOME", m_dir.path().toUtf8());
}

ScopedDataHome::~ScopedDataHome()
{
    qputenv("XDG_DATA_HOME", m_previous);
}

QString ScopedDataHome::statePath(bool dev) const
{
    return m_dir.path() + (dev ? QStringLiteral("/Brinmoor-Dev/state.json") : QStringLiteral("/Brinmoor/state.json"));
}

void ScopedDataHome::writeState(const QByteArray& bytes, bool dev) const
{
    QDir().mkpath(m_dir.path() + (dev ? QStringLiteral("/Brinmoor-Dev") : QStringLiteral("/Brinmoor")));
    QFile f(statePath(dev));
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes);
}

QByteArray ScopedDataHome::readState(bool dev) const
{
    QFile f(statePath(dev));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace brinmoor::test
