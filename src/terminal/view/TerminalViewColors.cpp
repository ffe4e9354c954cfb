// Fonts, cell size, terminal set-up and the mapping of the engine's colours to Qt colours.
#include "TerminalView.h"

#include "CaretView.h"
#include "TerminalScroller.h"
#include "SelectionService.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPalette>

#include <cmath>

using termcore::Attribute;
using termcore::CharacterStyle;
using termcore::Terminal;

namespace {

bool isDefaultKind(Attribute::Color c)
{
    return c.isDefault() || c.isDefaultInverted();
}

QColor fromEngine(const termcore::Color& c)
{
    return QColor::fromRgba64(c.red, c.green, c.blue, 0xffff);
}

// Underline and strike-through, drawn in the run's (final) foreground colour.
void decorate(RunStyle& rs, CharacterStyle style)
{
    if (style.contains(CharacterStyle::underline)) {
        rs.underlineStyle = 1;
        rs.underlineColor = rs.foreground;
    }
    if (style.contains(CharacterStyle::crossedOut)) {
        rs.strikethrough = true;
        rs.strikethroughColor = rs.foreground;
    }
}

// Faint (SGR 2): the colour halfway between the text's and its background's, so dim text stays
// readable on any background and in any colour form (palette, 256-colour, 24-bit, default).
QColor halfway(const QColor& fg, const QColor& bg)
{
    const QRgba64 a = fg.toRgb().rgba64(), b = bg.toRgb().rgba64();
    auto mid = [](quint16 x, quint16 y) { return quint16((uint(x) + uint(y)) / 2); };
    return QColor::fromRgba64(mid(a.red(), b.red()), mid(a.green(), b.green()), mid(a.blue(), b.blue()), a.alpha());
}

// Concealed (SGR 8): the cell keeps its background but shows no glyph and no line; the text
// stays in the buffer for selection and copying. A clear pen draws nothing.
void conceal(RunStyle& rs)
{
    rs.foreground = QColor(Qt::transparent);
    rs.underlineStyle = 0;
    rs.strikethrough = false;
}

} // namespace

QColor TerminalView::inverseColor(const QColor& c)
{
    if (!c.isValid())
        return c;
    const QRgba64 v = c.toRgb().rgba64();
    return QColor::fromRgba64(uint16_t(0xffff - v.red()), uint16_t(0xffff - v.green()), uint16_t(0xffff - v.blue()),
                              v.alpha());
}

termcore::Color TerminalView::getTerminalColor(const QColor& c)
{
    if (!c.isValid())
        return termcore::Color::defaultForeground();
    const QRgba64 v = c.toRgb().rgba64();
    return termcore::Color(v.red(), v.green(), v.blue());
}

void TerminalView::resetCaches()
{
    attributes.clear();
    urlAttributes.clear();
    colors.fill(std::nullopt);
    trueColors.clear();
    for (auto& cache : glyphCache_)
        cache.clear();
    for (auto& cache : fallbackCache_)
        cache.clear();
    shownRows_.clear();
}

void TerminalView::loadFontMetrics()
{
    resetCaches();
    cellDimension = computeFontDimensions();
    for (int i = 0; i < 4; ++i)
        rawFonts_[size_t(i)] = QRawFont::fromFont(fontSet.variant(i));
    const QFontMetricsF fm(fontSet.normal);
    baselineFromBottom_ = std::ceil(fm.descent() + fm.leading());
    lineMiddle_ = (fm.ascent() - fm.descent()) / 2;
    underlinePos_ = fm.underlinePos();
    underlineThickness_ = fm.lineWidth();
    strikeOutPos_ = fm.strikeOutPos();
    boxDrawing_.setMetrics(underlineThickness_, fontSet.normal, int(cellDimension->height()));
}

void TerminalView::setupOptions(qreal width, qreal height)
{
    loadFontMetrics();

    termcore::TerminalOptions options;
    options.cols = std::max(0, int(width / cellDimension->width()));
    options.rows = std::max(0, int(height / cellDimension->height()));
    options.convertEol = false;
    options.termName = "xterm-256color";
    options.cursorStyle = termcore::CursorStyle::blinkBlock;
    options.screenReaderMode = false;
    options.scrollback = 500;
    options.tabStopWidth = 8;
    options.enableSixelReported = true;

    if (terminal) {
        terminal->options = options;
        terminal->setup(false);
    } else {
        terminal = std::make_unique<Terminal>(this, options);
    }
    // The view's size decides the terminal's: DECCOLM (`reset` sends it) must not narrow it.
    terminal->columnModeResizes = false;
    // These come back through setBackgroundColor/setForegroundColor into the native colours.
    terminal->setBackgroundColor(termcore::Color::defaultBackground());
    terminal->setForegroundColor(termcore::Color::defaultForeground());

    selection = std::make_unique<termcore::SelectionService>(*terminal);

    if (!caretView_)
        caretView_ = new CaretView(this, terminal->options.cursorStyle, *cellDimension);
    caretView_->setSize(*cellDimension);
    applyCaretAnimation();
    search = std::make_unique<termcore::SearchService>(*terminal);
    updateWhole();
}

void TerminalView::resetFont()
{
    loadFontMetrics();

    // The scroller's column is not part of the grid, here as on every other size change.
    const int cols = int((width() - scroller_->width()) / cellDimension->width());
    const int rows = int(height() / cellDimension->height());
    terminal->resize(cols, rows);
    sizeChanged(*terminal);
    terminal->cmdSoftReset();
    if (caretView_)
        caretView_->setSize(*cellDimension);
    applyCaretAnimation();
    updateCursorPosition();
    updateWhole();
}

void TerminalView::setFont(const QFont& font)
{
    // Compared as the set would hold it: FontSet::from turns kerning off and hinting full, so the
    // font as given never equals fontSet.normal. A font the view already has changes nothing;
    // a real change re-measures the cells and soft-resets the terminal.
    FontSet next = FontSet::from(font);
    if (next.normal == fontSet.normal)
        return;
    fontSet = std::move(next);
    resetFont();
    selectNone();
    emit fontChanged();
}

void TerminalView::resetFontSize()
{
    fontSet = FontSet::from(FontSet::defaultFont());
}

void TerminalView::configureNativeColors()
{
    const QPalette pal = QGuiApplication::palette();
    setNativeForegroundColor(pal.color(QPalette::Text));
    setNativeBackgroundColor(pal.color(QPalette::Base));
}

void TerminalView::setNativeForegroundColor(const QColor& c)
{
    if (settingFg_)
        return;
    settingFg_ = true;
    nativeFg_ = c;
    if (terminal)
        terminal->setForegroundColor(getTerminalColor(c)); // notifies us: colorsChanged()
    settingFg_ = false;
    emit colorsChangedSignal();
}

void TerminalView::setNativeBackgroundColor(const QColor& c)
{
    if (settingBg_)
        return;
    settingBg_ = true;
    nativeBg_ = c;
    setFillColor(defaultBackground());
    if (terminal)
        terminal->setBackgroundColor(getTerminalColor(c));
    settingBg_ = false;
    emit colorsChangedSignal();
}

QColor TerminalView::caretColor() const
{
    return caretView_ ? caretView_->caretColor : QColor();
}

void TerminalView::setCaretColor(const QColor& c)
{
    if (!caretView_)
        return;
    caretView_->caretColor = c;
    caretView_->update();
    emit colorsChangedSignal();
}

std::optional<QColor> TerminalView::caretTextColor() const
{
    return caretView_ ? caretView_->caretTextColor : std::nullopt;
}

void TerminalView::setCaretTextColor(const std::optional<QColor>& c)
{
    if (!caretView_)
        return;
    caretView_->caretTextColor = c;
    caretView_->update();
}

void TerminalView::setSelectedTextBackgroundColor(const QColor& c)
{
    selectedTextBackgroundColor_ = c;
    updateWhole();
    emit colorsChangedSignal();
}

void TerminalView::setUseBrightColors(bool on)
{
    if (useBrightColors_ == on)
        return;
    useBrightColors_ = on;
    colorsChanged();
    emit colorsChangedSignal();
}

void TerminalView::installColors(const std::vector<termcore::Color>& newColors)
{
    terminal->installPalette(newColors);
    colors.fill(std::nullopt);
    colorsChanged();
}

void TerminalView::colorsChanged()
{
    attributes.clear();
    urlAttributes.clear();
    shownRows_.clear(); // same cells, new colours: every row is repainted
    if (!terminal)
        return;
    terminal->refreshStart = 0;
    terminal->refreshEnd = terminal->rows();
    terminal->scrollInvariantRefreshStart = terminal->buffer().yDisp();
    terminal->scrollInvariantRefreshEnd = terminal->buffer().yDisp() + terminal->rows();
    queuePendingDisplay();
}

void TerminalView::reverseVideoChanged(Terminal& source)
{
    if (source.reverseVideo()) {
        reverseSince_.start();
        showReverseVideo(true);
        return;
    }
    // A visual bell turns reverse video on and off again, 100 ms apart (tput flash) or in one
    // write (vim's visualbell): either way the flash stays on the screen that long.
    constexpr qint64 flashMs = 100;
    const qint64 left = reverseSince_.isValid() ? flashMs - reverseSince_.elapsed() : 0;
    if (left > 0)
        QTimer::singleShot(left, this, [this] { showReverseVideo(terminal && terminal->reverseVideo()); });
    else
        showReverseVideo(false);
}

void TerminalView::showReverseVideo(bool on)
{
    if (reverseShown_ == on)
        return;
    reverseShown_ = on;
    setFillColor(defaultBackground());
    colorsChanged();
    if (caretView_)
        caretView_->update(); // its own item: the terminal's repaint does not reach it
}

void TerminalView::colorChanged(Terminal&, std::optional<int> idx)
{
    if (idx) {
        if (*idx < 0 || *idx > 255)
            return; // the engine's palette has 256 entries; anything else is not ours to drop
        colors[size_t(*idx)].reset();
    } else {
        colors.fill(std::nullopt);
    }
    colorsChanged();
}

void TerminalView::setForegroundColor(Terminal&, const termcore::Color& color)
{
    setNativeForegroundColor(fromEngine(color));
    colorsChanged();
}

void TerminalView::setBackgroundColor(Terminal&, const termcore::Color& color)
{
    setNativeBackgroundColor(fromEngine(color));
    colorsChanged();
}

QColor TerminalView::mapColor(Attribute::Color color, bool isFg, bool isBold, bool useBright)
{
    switch (color.kind()) {
    case Attribute::Color::Kind::ansi256: {
        int index = color.code();
        if (useBright) {
            if (index < 8 && isBold)
                index += 8;
        } else if (index >= 8 && index < 16) {
            index -= 8; // shown as the normal colour in the bold font
        }
        auto& slot = colors[size_t(index)];
        if (!slot) {
            const auto& palette = terminal->ansiColors;
            slot = size_t(index) < palette.size() ? fromEngine(palette[size_t(index)]) : nativeFg_;
        }
        return *slot;
    }
    case Attribute::Color::Kind::trueColor: {
        auto it = trueColors.find(color);
        if (it != trueColors.end())
            return it->second;
        QColor c(color.red(), color.green(), color.blue());
        trueColors.emplace(color, c);
        return c;
    }
    case Attribute::Color::Kind::defaultColor:
        return isFg ? defaultForeground() : defaultBackground();
    case Attribute::Color::Kind::defaultInvertedColor:
        return isFg ? inverseColor(defaultForeground()) : inverseColor(defaultBackground());
    }
    return defaultForeground();
}

const RunStyle& TerminalView::getAttributes(const Attribute& attribute, bool withUrl)
{
    auto& cache = withUrl ? urlAttributes : attributes;
    if (auto it = cache.find(attribute); it != cache.end())
        return it->second;

    Attribute::Color fg = attribute.fg;
    Attribute::Color bg = attribute.bg;
    const CharacterStyle style = attribute.style;
    if (style.contains(CharacterStyle::inverse)) {
        // A default colour moving across becomes the inverted default.
        fg = isDefaultKind(attribute.bg) ? Attribute::Color::defaultInvertedColor() : attribute.bg;
        bg = isDefaultKind(attribute.fg) ? Attribute::Color::defaultInvertedColor() : attribute.fg;
    }
    const bool bold = style.contains(CharacterStyle::bold)
                      || (!useBrightColors_ && fg.isAnsi256() && fg.code() >= 8);
    const bool italic = style.contains(CharacterStyle::italic);

    RunStyle rs;
    rs.font = bold ? (italic ? 3 : 1) : (italic ? 2 : 0);
    rs.foreground = mapColor(fg, true, style.contains(CharacterStyle::bold), useBrightColors_);
    // Backgrounds never take the bold rule: a palette background keeps its own index.
    rs.background = mapColor(bg, false, false, true);
    if (style.contains(CharacterStyle::dim))
        rs.foreground = halfway(rs.foreground, rs.background);
    decorate(rs, style);
    if (withUrl) {
        rs.underlineStyle = 0x201; // single, dashed
        rs.underlineColor = rs.foreground;
    }
    if (style.contains(CharacterStyle::invisible))
        conceal(rs);
    return cache.emplace(attribute, rs).first->second;
}

RunStyle TerminalView::getAttributedValue(const Attribute& attribute, const QColor& usingFg, const QColor& andBg) const
{
    const CharacterStyle style = attribute.style;
    const bool bold = style.contains(CharacterStyle::bold);
    const bool italic = style.contains(CharacterStyle::italic);
    RunStyle rs;
    rs.font = bold ? (italic ? 3 : 1) : (italic ? 2 : 0);
    rs.foreground = usingFg;
    rs.background = andBg;
    if (style.contains(CharacterStyle::inverse))
        std::swap(rs.foreground, rs.background);
    decorate(rs, style);
    return rs;
}
