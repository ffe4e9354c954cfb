#include "UpdateChecker.h"

#include "AppInfo.h"

#include <QDesktopServices>
#include <QQmlEngine>

namespace brinmoor {

UpdateChecker& UpdateChecker::shared()
{
    static UpdateChecker* checker = new UpdateChecker;  // lives for the whole process
    return *checker;
}

UpdateChecker* UpdateChecker::create(QQmlEngine*, QJSEngine*)
{
    UpdateChecker* c = &shared();
    QQmlEngine::setObjectOwnership(c, QQmlEngine::CppOwnership);
    return c;
}

QString UpdateChecker::manifestURL()
{
    return AppConfig::appendingPath(AppConfig::baseURL(), QStringLiteral("api/app/version"));
}

void UpdateChecker::start()
{
    check();
    if (m_timer)
        return;
    m_timer = new QTimer(this);
    m_timer->setInterval(checkIntervalSeconds * 1000);
    connect(m_timer, &QTimer::timeout, this, &UpdateChecker::check);
    m_timer->start();
}

void UpdateChecker::check()
{
    ++m_checks;
    (void)manifestURL();  // no request is made in this build yet
}

void UpdateChecker::install()
{
    if (m_ready)
        return;  // nothing is ever unpacked in this build yet
    if (m_pageURL.isValid() && !m_pageURL.isEmpty())
        QDesktopServices::openUrl(m_pageURL);
}

} // namespace brinmoor
