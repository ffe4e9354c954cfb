#pragma once

#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QtQml/qqmlregistration.h>

class QJSEngine;
class QQmlEngine;

namespace brinmoor {

// Process-wide map from a project folder to a colour position, in first-seen order. Folders are
// compared as plain text: "~/src/app" and "/home/me/src/app" are two different projects.
// Positions grow without bound; callers reduce them to a colour of their own palette.
class ProjectColorRegistry : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
public:
    static ProjectColorRegistry& shared();
    static ProjectColorRegistry* create(QQmlEngine*, QJSEngine*);

    // The folder's position; a folder seen for the first time is appended.
    Q_INVOKABLE int index(const QString& directory);

    QStringList order() const;

private:
    ProjectColorRegistry() = default;
    mutable QMutex lock;
    QStringList m_order;
};

} // namespace brinmoor
