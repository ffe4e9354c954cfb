#pragma once

#include "Attribute.h"
#include "CharData.h"
#include "TerminalOptions.h"

#include <QColor>
#include <QElapsedTimer>
#include <QPointer>
#include <QQuickPaintedItem>

#include <optional>
#include <string>

class QTimer;
class TerminalView;

// The cursor of a terminal view: a one-cell child item that the view moves to the cursor's
// cell. It draws one of six styles and blinks by changing its own opacity along a fade of 1 to 0
// in 0.7 s with an ease-in curve, then back, so blinking never repaints the terminal's rows, nor
// its own content. Every opacity change still costs the window a frame (a whole-window render
// with a software GL), so the fade is shown in a few opacity levels, each held until the eased
// curve crosses halfway to the next one: with two levels the caret is lit while the fade would
// be more than half visible, two frames per 1.4 s period. Without keyboard focus it shows an
// outlined box. It takes no mouse input, so clicks fall through to the terminal view below.
class CaretView : public QQuickPaintedItem {
    Q_OBJECT
public:
    CaretView(TerminalView* terminal, termcore::CursorStyle style, QSizeF cellSize);

    QPointer<TerminalView> terminal;
    bool tracksFocus = true;
    termcore::CursorStyle style;
    QColor defaultCaretColor;
    QColor caretColor;
    std::optional<QColor> defaultCaretTextColor;
    std::optional<QColor> caretTextColor;
    bool focused = false;

    // The cell under the cursor, drawn on a block caret.
    void setText(const termcore::CharData& ch);
    // Steady styles stop blinking at full opacity; blinking styles (re)start the blink.
    void updateCursorStyle();
    void updateAnimation(bool blink);
    bool isBlinking() const;
    static bool styleBlinks(termcore::CursorStyle style);

    void paint(QPainter* painter) override;
    int paintCount() const { return paints_; }

private:
    std::u32string text_;
    termcore::Attribute attribute_;
    bool hasText_ = false;
    void blinkStep();
    QTimer* blink_ = nullptr; // single shot, armed for the next level change
    bool blinking_ = false;
    QElapsedTimer blinkClock_;
    int paints_ = 0;
};
