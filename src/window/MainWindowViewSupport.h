#pragma once

#include <QObject>
#include <QString>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

namespace brinmoor {

// Finds the views of other modules that the main window places by address (the grid, the
// sheets, the previews), so the window still opens in a build where one of them is absent.
class MainWindowViewSupport : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
public:
    explicit MainWindowViewSupport(QObject* parent = nullptr) : QObject(parent) {}

    // "qrc:/Brinmoor/<module>/<name>.qml" when the module carries that view, else an empty text.
    Q_INVOKABLE QString viewUrl(const QString& module, const QString& name) const;
    static QUrl moduleViewUrl(const QString& module, const QString& name);
};

} // namespace brinmoor
