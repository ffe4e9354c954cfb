#pragma once

#include <QFont>
#include <QPointer>
#include <QQuickPaintedItem>

class TerminalView;
namespace termcore {
class BufferLine;
class Terminal;
}

// A developer overlay for a terminal view: every slot of the buffer's line ring with its index
// (the stored row and the logical row), "D" on the display offset and "B" on the base row, and a
// status line of cursor and ring numbers. Attaching it makes the view's display updates refresh it.
class TerminalDebugView : public QQuickPaintedItem {
    Q_OBJECT
public:
    TerminalDebugView(TerminalView* terminalView, QQuickItem* parent = nullptr);
    ~TerminalDebugView() override;

    // Re-reads the status and marks the overlay for repainting (the view calls this on every
    // display update).
    void refresh();
    QString statusText() const { return status_; }
    // One row for the listing: the prefix, then `cols` cells of the row ("<empty>" for none).
    static QString getDebugString(const termcore::BufferLine* line, int cols, const QString& prefix);
    // The listing as drawn, one entry per ring slot.
    QStringList listing() const;

    void paint(QPainter* painter) override;

private:
    QPointer<TerminalView> terminalView_;
    QFont font_;
    qreal lineHeight_ = 0;
    QString status_ = QStringLiteral("WAITING");
};
