#include "MainWindowViewSupport.h"

#include <QFile>

namespace brinmoor {

QUrl MainWindowViewSupport::moduleViewUrl(const QString& module, const QString& name)
{
    // Modules compiled into the executable keep their files under :/Brinmoor/<module>/.
    const QString path = QStringLiteral(":/Brinmoor/") + module + QLatin1Char('/') + name + QStringLiteral(".qml");
    if (!QFile::exists(path))
        return {};
    return QUrl(QStringLiteral("qrc") + path);
}

QString MainWindowViewSupport::viewUrl(const QString& module, const QString& name) const
{
    return moduleViewUrl(module, name).toString();
}

} // namespace brinmoor
