#pragma once

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include <QQuickItem>

namespace brinmoor {

class AppModel;

// One Escape press closes the topmost open layer of the main window; with none open it leaves
// the maximized view. The order is the reverse of the layers' stacking: code preview, markdown
// preview, sheet, maximized pane. Nothing here is saved (these are runtime fields).
class EscapeChain : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
public:
    // What one press closed.
    enum class Closed {
        None,             // nothing was open or maximized: the press changed nothing
        CodePreview,      // the code preview overlay (the topmost layer)
        MarkdownPreview,  // the markdown preview
        Sheet,            // the open sheet and its backdrop
        Maximized,        // the maximized pane: the grid returns
    };

    explicit EscapeChain(QObject* parent = nullptr) : QObject(parent) {}

    static Closed handleEscape(AppModel& model);
    static QString name(Closed closed);

    // The chain on the shared model; returns what was closed ("" when nothing).
    Q_INVOKABLE QString handle() const;
    // Whether a focused item keeps Escape for itself: editable text fields and editors do, so an
    // Escape typed into them never reaches the window's chain.
    Q_INVOKABLE bool focusKeepsEscape(QQuickItem* item) const;
};

} // namespace brinmoor
