#pragma once

#include <QObject>
#include <QtQml/qqmlregistration.h>

namespace brinmoor {

// What the chat text editor needs beyond QML's TextEdit.
class ChatEditorSupport : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
public:
    explicit ChatEditorSupport(QObject* parent = nullptr) : QObject(parent) {}

    // While an input method composes in `edit` (a TextEdit), commits the candidate into the
    // text and returns true, so a Return pressed then chooses the candidate and sends nothing.
    // Returns false when nothing is being composed.
    Q_INVOKABLE static bool commitComposition(QObject* edit);
};

} // namespace brinmoor
