#include "TerminalDebugView.h"

#include "TerminalView.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainter>

TerminalDebugView::TerminalDebugView(TerminalView* terminalView, QQuickItem* parent)
    : QQuickPaintedItem(parent ? parent : terminalView), terminalView_(terminalView)
{
    const QString family = QFontDatabase::hasFamily("Lucida Sans Typewriter") ? QStringLiteral("Lucida Sans Typewriter")
                                                                               : QStringLiteral("Courier");
    font_ = QFont(family);
    font_.setPixelSize(8);
    font_.setStyleHint(QFont::TypeWriter);
    lineHeight_ = QFontMetricsF(font_).boundingRect(QStringLiteral("W")).height();
    setAcceptedMouseButtons(Qt::NoButton);
    setZ(4);
    terminalView->debug = this;
}

TerminalDebugView::~TerminalDebugView()
{
    if (terminalView_ && terminalView_->debug == this)
        terminalView_->debug = nullptr;
}

void TerminalDebugView::refresh()
{
    if (!terminalView_)
        return;
    auto& t = terminalView_->getTerminal();
    const auto& buf = t.buffer();
    status_ = QStringLiteral("x: %1 y: %2 yDisp: %3 yBase: %4 clc: %5 startIndex: %6")
                  .arg(buf.x())
                  .arg(buf.y())
                  .arg(buf.yDisp())
                  .arg(buf.yBase())
                  .arg(qsizetype(buf.lines().getArray().size()))
                  .arg(buf.lines().getStartIndex());
    update();
}

QString TerminalDebugView::getDebugString(const termcore::BufferLine* line, int cols, const QString& prefix)
{
    if (!line)
        return prefix + QStringLiteral("<empty>");
    QString out = prefix;
    for (int k = 0; k < cols && line->count() > 0; ++k) {
        const auto& cell = (*line)[k]; // past the end: the last cell (empty for a lazily widened row)
        if (cell.code == 0) {
            out += QLatin1Char(' ');
        } else {
            const std::u32string ch = cell.getCharacter();
            out += QString::fromUcs4(ch.data(), qsizetype(ch.size()));
        }
    }
    return out;
}

QStringList TerminalDebugView::listing() const
{
    QStringList rows;
    if (!terminalView_)
        return rows;
    auto& t = terminalView_->getTerminal();
    auto& buf = t.buffer();
    auto& ring = buf.lines();
    const auto& ringSlots = ring.getArray();
    const int slotCount = std::max<int>(1, int(ringSlots.size()));
    for (int i = 0; i < ring.maxLength(); ++i) {
        const QString marks = QString(i == buf.yDisp() ? QLatin1Char('D') : QLatin1Char(' '))
                              + QString(i == buf.yBase() ? QLatin1Char('B') : QLatin1Char(' '));
        const termcore::BufferLine* stored = i < int(ringSlots.size()) ? ringSlots[size_t(i)].get() : nullptr;
        const termcore::BufferLine* logical = i < ring.count() ? ring.peek(i) : nullptr;
        const QString slot = QStringLiteral("[%1:%2]")
                                 .arg(i, 3, 10, QLatin1Char('0'))
                                 .arg((ring.getStartIndex() + i) % slotCount, 3, 10, QLatin1Char('0'));
        rows << getDebugString(stored, t.cols(), slot + marks)
                    + getDebugString(logical, t.cols(), QStringLiteral("[%1]").arg(i, 3, 10, QLatin1Char('0')) + marks);
    }
    return rows;
}

void TerminalDebugView::paint(QPainter* painter)
{
    painter->fillRect(QRectF(0, 0, width(), height()), Qt::white);
    painter->setPen(Qt::black);
    painter->setFont(font_);
    // The status line sits at the bottom (8 above the edge, 14 high), the ringSlots above it.
    painter->drawText(QRectF(0, height() - 8 - 14, width(), 14), Qt::AlignLeft | Qt::AlignVCenter, status_);
    const QStringList rows = listing();
    const qreal h = std::max<qreal>(lineHeight_, 1);
    for (int i = 0; i < rows.size(); ++i) {
        const qreal y = h * (i + 1);
        if (y > height() - 22)
            break;
        painter->drawText(QPointF(0, y), rows[i]);
    }
}
