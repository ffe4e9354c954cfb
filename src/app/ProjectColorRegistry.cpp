#include "ProjectColorRegistry.h"

#include <QMutexLocker>
#include <QQmlEngine>

namespace brinmoor {

ProjectColorRegistry& ProjectColorRegistry::shared()
{
    static ProjectColorRegistry* instance = new ProjectColorRegistry;  // lives for the whole process
    return *instance;
}

ProjectColorRegistry* ProjectColorRegistry::create(QQmlEngine*, QJSEngine*)
{
    ProjectColorRegistry* r = &shared();
    QQmlEngine::setObjectOwnership(r, QQmlEngine::CppOwnership);
    return r;
}

int ProjectColorRegistry::index(const QString& directory)
{
    QMutexLocker guard(&lock);
    const qsizetype at = m_order.indexOf(directory);
    if (at >= 0)
        return int(at);
    m_order.append(directory);
    return int(m_order.size() - 1);
}

QStringList ProjectColorRegistry::order() const
{
    QMutexLocker guard(&lock);
    return m_order;
}

} // namespace brinmoor
