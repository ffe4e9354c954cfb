#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QtQml/qqmlregistration.h>

namespace brinmoor {

// Builds the contents of a grid's panes a few at a time: a workspace shown for the first time
// would otherwise build every pane's frame, terminal or chat in one go, holding the GUI thread
// (and the next frame) for all of them. Each turn of the event loop builds panes, in the order
// they asked, until one has been built and `budgetMs` have passed; the window draws in between,
// so the panes appear as they are made.
//
// A pane asks with enqueue(); its builder is its QML function `buildContent()`, which may find
// there is nothing left to do. A pane that goes away before its turn is passed over.
class PaneBuildQueue : public QObject {
    Q_OBJECT
    QML_ELEMENT
    // Milliseconds of building one turn may take beyond its first pane.
    Q_PROPERTY(int budgetMs READ budgetMs WRITE setBudgetMs NOTIFY budgetMsChanged)
    Q_PROPERTY(int pending READ pending NOTIFY pendingChanged)

public:
    explicit PaneBuildQueue(QObject* parent = nullptr);

    int budgetMs() const { return m_budgetMs; }
    void setBudgetMs(int ms);
    int pending() const { return int(m_waiting.size()); }

    Q_INVOKABLE void enqueue(QObject* pane);

signals:
    void budgetMsChanged();
    void pendingChanged();

private:
    void buildSome();

    QList<QPointer<QObject>> m_waiting;
    QTimer m_turn;
    int m_budgetMs = 8;
};

}  // namespace brinmoor
