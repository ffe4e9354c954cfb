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

    // Call after every change of `edit`'s text (a TextEdit). A TextEdit draws only the lines in
    // its viewport when its text was *set* long; text that arrives by paste, typing or insertion
    // is drawn whole, and every later keystroke and frame re-renders all of it (a 1 MB log made
    // each key cost a fifth of a second, and held 80 MB). This keeps a long draft drawn by its
    // viewport, however it arrived.
    Q_INVOKABLE static void drawOnlyWhatShows(QObject* edit);
    // From this length on a draft is drawn by its viewport; a shorter one is drawn whole, which
    // costs next to nothing.
    static constexpr int viewportDrawingFrom = 10000;
};

} // namespace brinmoor
