#pragma once

#include "BoxDrawing.h"
#include "FontSet.h"
#include "TerminalViewDelegate.h"
#include "ReadThreads.h"
#include "X11ClipboardReader.h"

#include "Terminal.h"
#include "TerminalImage.h"

#include <QColor>
#include <QElapsedTimer>
#include <QFont>
#include <QGlyphRun>
#include <QHash>
#include <QImage>
#include <QPointer>
#include <QQuickPaintedItem>
#include <QRawFont>
#include <QTimer>
#include <QUrl>

#include <functional>

#include <array>
#include <memory>
#include <optional>
#include <thread>
#include <unordered_map>
#include <vector>

class CaretView;
class TerminalDebugView;
class TerminalScroller;
namespace termcore {
class SelectionService;
class SearchService;
}

// One cell-high stripe of an inline image, attached to the buffer line whose row it covers and
// drawn with its top on that row's top edge.
class AppleImage : public termcore::TerminalImage {
public:
    AppleImage(QImage image, int pixelWidth, int pixelHeight, int col, int columns = 1)
        : image(std::move(image)), width_(pixelWidth), height_(pixelHeight), col_(col), columns_(std::max(columns, 1))
    {
    }
    QImage image;
    int pixelWidth() const override { return width_; }
    int pixelHeight() const override { return height_; }
    int col() const override { return col_; }
    void setCol(int col) override { col_ = col; }
    int columns() const override { return columns_; }
    size_t byteSize() const override { return size_t(image.sizeInBytes()); }
    void releasePixels() override { image = QImage(); }

private:
    int width_;
    int height_;
    int col_;
    int columns_;
};

// What one cell rendition draws with: the view's "attribute dictionary". Built once per
// distinct (attribute, hyperlink or not) and shared by every run that has it.
struct RunStyle {
    int font = 0;               // FontSet::variant index
    QColor foreground;
    QColor background;
    int underlineStyle = 0;     // 0 none, 1 single, 0x201 single dashed (hyperlinks)
    QColor underlineColor;
    bool strikethrough = false;
    QColor strikethroughColor;
};

// One row prepared for drawing: runs of equal rendition over the cells, and the row's images.
struct ViewLineInfo {
    struct Run {
        int startCol = 0;
        int count = 0;
        const RunStyle* style = nullptr;
        bool selected = false;
    };
    std::vector<Run> runs;
    std::vector<std::u32string> cells; // the character of each drawn column ("" = nothing to draw)
    std::vector<std::shared_ptr<termcore::TerminalImage>> images;
};

// The terminal view: a Qt Quick item that owns a Terminal, is its delegate, and draws it on a
// fixed grid of cells. Output is fed through feed(); the changes of every view are gathered on
// one shared redraw tick (TerminalRedrawClock), at most one per refresh of the display, and only
// the rows that show something new are repainted. The cursor is a
// separate child item (CaretView) whose blinking never repaints the terminal; a scroller child
// at the right edge moves through the scrollback.
class TerminalView : public QQuickPaintedItem, public termcore::TerminalDelegate {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QFont font READ font WRITE setFont NOTIFY fontChanged)
    Q_PROPERTY(QColor nativeForegroundColor READ nativeForegroundColor WRITE setNativeForegroundColor NOTIFY colorsChangedSignal)
    Q_PROPERTY(QColor nativeBackgroundColor READ nativeBackgroundColor WRITE setNativeBackgroundColor NOTIFY colorsChangedSignal)
    Q_PROPERTY(QColor caretColor READ caretColor WRITE setCaretColor NOTIFY colorsChangedSignal)
    Q_PROPERTY(QColor selectedTextBackgroundColor READ selectedTextBackgroundColor WRITE setSelectedTextBackgroundColor NOTIFY colorsChangedSignal)
    Q_PROPERTY(bool useBrightColors READ useBrightColors WRITE setUseBrightColors NOTIFY colorsChangedSignal)
    Q_PROPERTY(int terminalCols READ terminalCols NOTIFY terminalSizeChanged)
    Q_PROPERTY(int terminalRows READ terminalRows NOTIFY terminalSizeChanged)
    Q_PROPERTY(QString title READ title NOTIFY titleChanged)
    Q_PROPERTY(bool hasFocus READ hasFocus NOTIFY focusStateChanged)
    Q_PROPERTY(bool selectionActive READ selectionActive NOTIFY selectionActiveChanged)
    // Why the last paste put nothing in (its owner did not answer, the text was too long); empty
    // once a paste succeeds or a new one starts.
    Q_PROPERTY(QString pasteNotice READ pasteNotice NOTIFY pasteNoticeChanged)

public:
    explicit TerminalView(QQuickItem* parent = nullptr);
    TerminalView(QQuickItem* parent, const QFont& font);
    ~TerminalView() override;

    // ---- Owner interface ------------------------------------------------------------------
    TerminalViewDelegate* terminalDelegate = nullptr; // not owned
    QPointer<TerminalDebugView> debug; // a developer overlay, refreshed on every display update
    termcore::Terminal& getTerminal() { return *terminal; }
    termcore::SelectionService* selectionService() { return selection.get(); }
    CaretView* caretView() const { return caretView_; }
    TerminalScroller* scroller() const { return scroller_; }
    std::optional<QSizeF> cellDimension;
    FontSet fontSet;
    // Draws the box-drawing and block characters (the caret draws them with it too).
    const BoxDrawing& boxDrawing() const { return boxDrawing_; }
    // Whether a character of a font variant is drawn by boxDrawing() rather than from the font:
    // lines and blocks always, scan lines and control pictures where the font has no glyph. The
    // rows and the caret ask the same question, so a character looks the same under the caret.
    bool drawnAsBox(int variant, char32_t ch)
    {
        return BoxDrawing::covers(ch) || (BoxDrawing::coversMissing(ch) && glyphFor(variant, ch) == 0);
    }
    // Draws a cluster through Qt's font fallback with the painter's pen, its baseline at
    // `baseline`, inside the cells it occupies (`cells`), as the rows draw it (the caret too).
    void drawCluster(QPainter* painter, int variant, const std::u32string& text, const QRectF& cells, qreal baseline);

    QFont font() const { return fontSet.normal; }
    void setFont(const QFont& font);
    void resetFontSize();

    QColor nativeForegroundColor() const { return nativeFg_; }
    QColor nativeBackgroundColor() const { return nativeBg_; }
    // The colours cells of default colour are drawn in: the native ones, swapped while the screen
    // is shown in reverse video.
    QColor defaultForeground() const { return reverseShown_ ? nativeBg_ : nativeFg_; }
    QColor defaultBackground() const { return reverseShown_ ? nativeFg_ : nativeBg_; }
    bool reverseVideoShown() const { return reverseShown_; }
    void setNativeForegroundColor(const QColor& c);
    void setNativeBackgroundColor(const QColor& c);
    QColor caretColor() const;
    void setCaretColor(const QColor& c);
    std::optional<QColor> caretTextColor() const;
    void setCaretTextColor(const std::optional<QColor>& c);
    QColor selectedTextBackgroundColor() const { return selectedTextBackgroundColor_; }
    void setSelectedTextBackgroundColor(const QColor& c);
    bool useBrightColors() const { return useBrightColors_; }
    void setUseBrightColors(bool on);
    // Sets the native colours to the platform's text colours.
    void configureNativeColors();
    // Installs a new 16-colour base palette.
    void installColors(const std::vector<termcore::Color>& colors);

    int terminalCols() const;
    int terminalRows() const;
    QString title() const { return title_; }
    bool hasFocus() const;
    void setHasFocus(bool focus);
    // How long the caret blinks after the last key or output (10 s by default).
    void setCaretBlinkTimeout(int ms);
    bool caretViewTracksFocus() const;
    void setCaretViewTracksFocus(bool on);

    // The frame that holds the terminal's grid exactly, scroller included.
    QRectF getOptimalFrameSize() const;

    // ---- Output: feeding and display -------------------------------------------------------
    void feed(std::span<const uint8_t> byteArray);
    void feed(const QByteArray& bytes);
    void feed(const QString& text);
    // For hosts that feed the terminal themselves: queues the display update.
    void feedFinish() { queuePendingDisplay(); }
    // While an image (a sixel or an inline image file) is decoded off the GUI thread the output
    // after it waits here (feed() adds to it), so that it lands after the image; the window
    // answers meanwhile.
    bool outputHeld() const { return imageJob_ != nullptr || !heldOutput_.empty(); }
    void queuePendingDisplay();
    void updateDisplay(bool notifyAccessibility);
    void updateCursorPosition();
    QRectF caretFrame() const;
    bool notifyUpdateChanges = false;
    bool pendingDisplay() const { return pendingDisplay_; }
    // Milliseconds from scheduling to the queued display update (0: the next event-loop turn),
    // or -1 when none is queued. The updates of all views run on one shared redraw tick.
    int pendingDisplayDelay() const;
    // Display updates run so far (each invalidates at most one band of rows).
    int displayUpdateCount() const { return displayUpdates_; }
    // What the last display update invalidated: the band from the first to the last row that
    // shows something new (empty when no row does).
    QRect lastDisplayRect() const { return lastDisplayRect_; }
    // Times the terminal's rows were painted.
    int paintCount() const { return paints_; }

    // ---- Scrolling and size ---------------------------------------------------------------
    bool canScroll() const;
    double scrollPosition() const;
    double scrollThumbsize() const;
    void scrollTo(int row, bool notifyAccessibility = true);
    void scroll(double toPosition);
    void scrollUp(int lines);
    void scrollDown(int lines);
    void pageUp();
    void pageDown();
    bool processSizeChange(QSizeF newSize);
    void resize(int cols, int rows);
    void ensureCaretIsVisible();
    bool userScrolling = false;

    // ---- Input to the host ----------------------------------------------------------------
    void send(std::span<const uint8_t> data);
    void send(const std::vector<uint8_t>& bytes) { send(std::span<const uint8_t>(bytes)); }
    void send(const QString& txt);
    void sendKeyUp();
    void sendKeyDown();
    void sendKeyLeft();
    void sendKeyRight();
    static std::vector<uint8_t> applyControlToEventCharacters(const QString& ch);

    // ---- Keyboard and text input ----------------------------------------------------------
    // The editing commands a key press becomes when no modifier rule took it first.
    enum class Command {
        insertNewline, cancelOperation, deleteBackward, moveUp, moveDown, moveLeft, moveRight, insertTab,
        insertBacktab, moveToBeginningOfLine, moveToEndOfLine, scrollPageUp, scrollPageDown,
        pageDownAndModifySelection, moveToLeftEndOfLine, moveToRightEndOfLine,
    };
    void doCommand(Command command);
    // Committed text (typed, pasted or from an input method): its UTF-8 bytes go to the program.
    void insertText(const QString& text);
    Q_INVOKABLE void copy();
    Q_INVOKABLE void paste();
    // Pastes the clipboard (Ctrl+Shift+V) or the primary selection (a middle click). Another
    // program's selection is read off the GUI thread, on a connection and thread of the view's own,
    // and its text goes in when it has come; one paste at a time, a new one replacing the one in
    // progress. The app's own selection is read through QClipboard, which answers from memory.
    void pasteFrom(brinmoor::X11ClipboardReader::Selection selection);
    // Whether a paste from another program is being read.
    bool pasteReading() const { return pasteControl_ != nullptr; }
    QString pasteNotice() const { return pasteNotice_; }
    // The longest text a paste takes, in bytes of UTF-8: a shell or an editor takes a paste a
    // character at a time, and tens of megabytes are already minutes of it; past this a paste is
    // refused with a notice rather than read whole.
    static constexpr qint64 pasteLimitBytes = 32 * 1024 * 1024;
    bool optionAsMetaKey = true;
    bool backspaceSendsControlH = false;
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;

    // ---- Mouse, selection and links -------------------------------------------------------
    struct MouseHit {
        termcore::Position grid;   // column and screen row (0 = the top row shown)
        termcore::Position pixels; // from the view's top-left corner
    };
    MouseHit calculateMouseHit(QPointF point) const;
    // The flags of a report of a press or of motion: xterm's button code (0 left, 1 middle,
    // 2 right; 3 for no button, motion alone) and, in the modes that carry them, Shift 4, Alt 8,
    // Ctrl 16. A release is sent with the flags of its press (Terminal::sendRelease).
    int encodeMouseEvent(Qt::MouseButton button, Qt::KeyboardModifiers modifiers) const;
    // The hyperlink payload (OSC 8 "params;url") of the cell under a point, if any.
    std::optional<std::string> getPayload(QPointF point) const;
    static std::optional<std::pair<QString, QMap<QString, QString>>> urlAndParamsFrom(const std::string& payload);
    void previewUrl(const std::string& payload);
    void turnOffUrlPreview();
    static QFont tryUrlFont();
    QQuickItem* urlPreview() const { return urlPreview_; }
    QString urlPreviewText() const;
    bool commandActive = false;
    // Opens links for the default requestOpenLink; replaceable (tests fake it).
    static std::function<void(const QUrl&)> linkOpener;

    // ---- Selection ------------------------------------------------------------------------
    Q_INVOKABLE bool selectionActive() const;
    std::optional<QString> getSelection() const;
    Q_INVOKABLE void selectAll();
    void selectNone();

    // ---- Colours and styles ---------------------------------------------------------------
    QColor mapColor(termcore::Attribute::Color color, bool isFg, bool isBold, bool useBright);
    const RunStyle& getAttributes(const termcore::Attribute& attribute, bool withUrl);
    RunStyle getAttributedValue(const termcore::Attribute& attribute, const QColor& usingFg, const QColor& andBg) const;
    void colorsChanged();
    void resetCaches();
    QSizeF computeFontDimensions() const { return cellSizeForFont(fontSet.normal); }
    ViewLineInfo buildAttributedString(int row, const termcore::BufferLine& line, int cols);
    static QColor inverseColor(const QColor& c);
    static termcore::Color getTerminalColor(const QColor& c);

    // ---- Images ---------------------------------------------------------------------------
    void insertImage(const QImage& image, termcore::ImageSizeRequest width, termcore::ImageSizeRequest height,
                     bool preserveAspectRatio);
    static QImage scale(const QImage& image, QSizeF size);
    // What image insertion needs of the view, taken on the GUI thread.
    struct ImageGeometry {
        QSizeF cell;
        QSizeF view;
        qreal scaleFactor = 1;
    };
    ImageGeometry imageGeometry() const;
    // An image cut into cell-high stripes, ready to be placed at the cursor.
    struct PreparedImage {
        std::vector<QImage> stripes;
        int width = 0;
        int cellHeight = 0;
        int columns = 1;
    };
    // The box an image of a size is placed in (points), and the rectangle in it its picture
    // fills: the whole box, or fitted inside and centred when both extents are asked for with
    // the aspect ratio kept. Empty when nothing is placed.
    struct ImageBox {
        QSizeF size;
        QRectF picture;
    };
    static ImageBox imageBox(QSize source, termcore::ImageSizeRequest width, termcore::ImageSizeRequest height,
                             bool preserveAspectRatio, const ImageGeometry& geometry);
    // Draws an image into the picture of a box, cut into cell-high stripes.
    static PreparedImage cutImage(const QImage& image, const ImageBox& box, const ImageGeometry& geometry);
    // Sizes and cuts an image (any thread: it touches nothing of the view).
    static PreparedImage prepareImage(const QImage& source, termcore::ImageSizeRequest width,
                                      termcore::ImageSizeRequest height, bool preserveAspectRatio,
                                      const ImageGeometry& geometry);
    // Decodes an image file (any format Qt reads) and sizes and cuts it (any thread); one shown
    // smaller than it is is decoded at the size it is shown. Empty when it cannot be read.
    static PreparedImage prepareImageFile(const QByteArray& data, termcore::ImageSizeRequest width,
                                          termcore::ImageSizeRequest height, bool preserveAspectRatio,
                                          const ImageGeometry& geometry);
    // A decoded sixel bitmap as placed: at the view's width when wider, else at its own size.
    static PreparedImage prepareBitmap(const QImage& image, const ImageGeometry& geometry);
    // Attaches the stripes from the cursor down, one row each, the cursor ending below them.
    void placeImage(PreparedImage&& image);

    // ---- TerminalDelegate -----------------------------------------------------------------
    void showCursor(termcore::Terminal& source) override;
    void hideCursor(termcore::Terminal& source) override;
    void setTerminalTitle(termcore::Terminal& source, const std::string& title) override;
    std::optional<std::vector<uint8_t>> windowCommand(termcore::Terminal& source,
                                                      const termcore::WindowManipulationCommand& command) override;
    void sizeChanged(termcore::Terminal& source) override;
    void send(termcore::Terminal& source, std::span<const uint8_t> data) override;
    void scrolled(termcore::Terminal& source, int yDisp) override;
    void linefeed(termcore::Terminal& source) override;
    void bufferActivated(termcore::Terminal& source) override;
    void bell(termcore::Terminal& source) override;
    void selectionChanged(termcore::Terminal& source) override;
    bool isProcessTrusted(termcore::Terminal& source) override { return true; }
    void reverseVideoChanged(termcore::Terminal& source) override;
    void cursorStyleChanged(termcore::Terminal& source, termcore::CursorStyle newStyle) override;
    void hostCurrentDirectoryUpdated(termcore::Terminal& source) override;
    void colorChanged(termcore::Terminal& source, std::optional<int> idx) override;
    void setForegroundColor(termcore::Terminal& source, const termcore::Color& color) override;
    void setBackgroundColor(termcore::Terminal& source, const termcore::Color& color) override;
    void iTermContent(termcore::Terminal& source, std::span<const uint8_t> content) override;
    void createImageFromBitmap(termcore::Terminal& source, std::vector<uint8_t>& bytes, int width, int height) override;
    bool decodeSixelElsewhere(termcore::Terminal& source, std::vector<uint8_t>& data,
                              std::span<const termcore::Color> palette) override;
    void createImage(termcore::Terminal& source, const std::vector<uint8_t>& data, termcore::ImageSizeRequest width,
                     termcore::ImageSizeRequest height, bool preserveAspectRatio) override;
    bool decodeImageElsewhere(termcore::Terminal& source, std::vector<uint8_t>& data, termcore::ImageSizeRequest width,
                              termcore::ImageSizeRequest height, bool preserveAspectRatio) override;

    // ---- Drawing --------------------------------------------------------------------------
    void paint(QPainter* painter) override;
    void drawTerminalContents(QPainter* painter, const QRectF& dirtyRect, int bufferOffset);

signals:
    void fontChanged();
    void colorsChangedSignal();
    void terminalSizeChanged();
    void titleChanged();
    void focusStateChanged();
    void bellRang();
    void scrollPositionChanged(double position);
    void selectionActiveChanged();
    // A right click asks for the context menu (copy, paste, select all) at a point of the view;
    // while a program hears the pointer, a Shift+right click does.
    void contextMenuRequested(QPointF position);
    void pasteNoticeChanged();

private slots:
    void windowActiveChanged();
    // Paints the whole view on the next frame and forgets what each row showed.
    void repaintAll();

protected:
    // The output held behind an image decode has all been fed: a host that stopped reading its
    // child meanwhile (see outputHeld) reads again.
    virtual void outputResumed() {}
    void geometryChange(const QRectF& newGeometry, const QRectF& oldGeometry) override;
    void focusInEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseUngrabEvent() override;
    void hoverEnterEvent(QHoverEvent* event) override;
    void hoverMoveEvent(QHoverEvent* event) override;
    void hoverLeaveEvent(QHoverEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    bool event(QEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void itemChange(ItemChange change, const ItemChangeData& value) override;

private:
    // An image being decoded off the GUI thread (TerminalViewImages.cpp).
    struct ImageJob;
    std::shared_ptr<ImageJob> imageJob_;
    std::vector<uint8_t> heldOutput_;
    // The thread of the image on its way (one at a time: the output behind it waits), joined
    // before the next starts and when the view goes.
    std::thread imageThread_;
    // The paste being read from another program, and the threads its reads run on (the view's
    // own: a read waits on its owner, and Qt's shared pool draws the window).
    std::shared_ptr<brinmoor::X11ClipboardReader::Control> pasteControl_;
    std::unique_ptr<brinmoor::ReadThreads> pasteThreads_;
    QString pasteNotice_;
    void setPasteNotice(const QString& notice);
    void pasteArrived(const brinmoor::X11ClipboardReader::Control* control, brinmoor::X11ClipboardReader::Selection from,
                      brinmoor::X11ClipboardReader::Outcome outcome, QString text, qint64 size);
    bool sixelWorkWarned_ = false; // the work bound was reported for this view
    // Feeds the terminal; what it leaves (after an image taken off the thread) waits.
    void feedTerminal(std::span<const uint8_t> bytes);
    void startImageJob(std::shared_ptr<ImageJob> job);
    void imageDecoded(const std::shared_ptr<ImageJob>& job);

    void init(const QFont& font);
    void setupScroller();
    void setupOptions();
    void setupOptions(qreal width, qreal height);
    void resetFont();
    // Cell size, raw fonts and line metrics from fontSet, with the style and glyph caches emptied.
    void loadFontMetrics();
    void updateScroller();
    void applyCaretAnimation();
    // Input or output: a caret that stopped blinking for idleness blinks again.
    void noteCaretActivity();
    void connectWindow(QQuickWindow* window);
    void scrollerActivated(int part);
    void drawRow(QPainter* painter, int row, int bufferOffset, const QRectF& dirtyRect);
    void drawRunDecorations(QPainter* painter, const ViewLineInfo::Run& run, qreal rowTop);
    // The pixels of a cell of a row.
    QRect cellRect(int col, qreal rowTop) const;
    quint32 glyphFor(int variant, char32_t ch);
    // Characters the terminal's font lacks, shaped once by Qt's font fallback: the glyph runs
    // with their origin on the baseline at the cell's left edge, and the rectangle their ink
    // covers.
    struct FallbackShape {
        QList<QGlyphRun> runs;
        QRectF ink;
    };
    const FallbackShape& fallbackGlyphs(int variant, const std::u32string& text);
    // Whether a screen row must be repainted: it holds something else than when it was last
    // asked for, or than the frame that answered painted. Records what it holds as asked for.
    bool rowChangedSinceShown(int screenRow, int bufferRow);
    // Asks for the whole view on the next frame. Not update() with no rectangle: Qt takes that
    // for the whole item only until a row's rectangle joins it before the next frame, which
    // leaves just that row to be painted.
    void updateWhole();
    // After a paint: what each row painted whole now shows is what the display holds for it.
    void notePainted(const QRectF& painted, int bufferOffset);
    void selectionRange(int row, int cols, int& start, int& length) const;

    std::unique_ptr<termcore::Terminal> terminal;
    std::unique_ptr<termcore::SelectionService> selection;
    std::unique_ptr<termcore::SearchService> search;
    CaretView* caretView_ = nullptr;
    TerminalScroller* scroller_ = nullptr;
    friend class TerminalRedrawClock;
    void runScheduledDisplay();
    QTimer* caretIdle_ = nullptr; // stops the blink after a quiet spell (GTK's cursor-blink-timeout)
    bool pendingDisplay_ = false;
    bool scrollerStale_ = false;
    int displayUpdates_ = 0;
    QRect lastDisplayRect_;
    int paints_ = 0;

    // Caches of the colour mapping.
    std::unordered_map<termcore::Attribute, RunStyle> attributes;
    std::unordered_map<termcore::Attribute, RunStyle> urlAttributes;
    std::array<std::optional<QColor>, 256> colors;
    std::unordered_map<termcore::Attribute::Color, QColor> trueColors;

    // Glyphs of the four fonts, looked up once per character.
    std::array<QRawFont, 4> rawFonts_;
    std::array<QHash<char32_t, quint32>, 4> glyphCache_;
    std::array<QHash<QString, FallbackShape>, 4> fallbackCache_;
    // What a screen row draws: exactly what drawRow reads (the cells up to the width, the line's
    // mode, its images, the selection on it).
    struct RowPicture {
        bool known = false;
        int renderMode = 0;
        int selectionStart = 0;
        int selectionLength = 0;
        std::vector<termcore::CharData> cells;
        std::vector<const void*> images;
    };
    // Whether a screen row holds what a picture of it shows; taking one records what it holds.
    bool rowHolds(const RowPicture& picture, int bufferRow);
    void takePicture(RowPicture& picture, int bufferRow);
    // Each screen row as last painted, and as last asked for. A repaint asked for lands on a later
    // frame, when the row may hold something else again (output streams on, or the window is
    // minimised and draws nothing meanwhile): only the paint says what the display holds, so a
    // row that goes back to what it held when it was asked for is repainted when the frame drew
    // something else.
    struct ShownRow {
        RowPicture painted;
        RowPicture asked;
        bool pending = false; // asked for and not painted yet
    };
    std::vector<ShownRow> shownRows_;
    BoxDrawing boxDrawing_;
    std::vector<QRect> boxRects_; // the line and block rectangles of the run being drawn
    qreal baselineFromBottom_ = 0;
    qreal lineMiddle_ = 0; // above the baseline: halfway between the ascent and the descent
    qreal underlinePos_ = 1;
    qreal underlineThickness_ = 1;
    qreal strikeOutPos_ = 3;

    QColor nativeFg_;
    QColor nativeBg_;
    // Reverse video as drawn; it lags the terminal's mode while a flash is held on the screen.
    bool reverseShown_ = false;
    QElapsedTimer reverseSince_;
    void showReverseVideo(bool on);
    bool settingFg_ = false;
    bool settingBg_ = false;
    bool useBrightColors_ = true;
    QColor selectedTextBackgroundColor_;
    bool hasFocus_ = false;
    bool reportedFocus_ = false; // the focus state the program was last told of (mode 1004)
    void reportFocusChange();
    QString title_;
    void setCommandActive(bool on);
    // While Ctrl is held: the link label shows the link under the pointer, or goes.
    void followUrlPreview();
    void hideUrlPreview();
    QQuickItem* urlPreview_ = nullptr;
    QPointF lastPointer_{-1, -1};
    qint64 lastPressTime_ = 0;
    QPointF lastPressPos_;
    int clickCount_ = 0;
    std::optional<MouseHit> pressHit_;
    bool pressHandledByReport_ = false;
    // The buttons held whose press the program heard: their motion and release go to it too,
    // whatever Shift does meanwhile.
    Qt::MouseButtons reportedButtons_;
    // Whether a press with these modifiers goes to the program rather than to the view.
    bool pressIsReported(Qt::KeyboardModifiers modifiers) const;
    // Sends what the bracketed-paste mode asks for around text the user pastes.
    void pasteText(QString text);
    // Where the pointer was last seen over the view (cell and pixels), by any pointer event.
    struct PointerPlace {
        int col = 0, row = 0, x = 0, y = 0;
    };
    std::optional<PointerPlace> pointerPlace_;
    // Records the pointer's place; whether that is motion (another cell, or another pixel in the
    // pixel encoding).
    bool pointerMovedTo(const MouseHit& hit);
    // Wheel angle not yet sent as a whole notch (a touchpad's small steps add up).
    int wheelRemainder_ = 0;

    QElapsedTimer bellClock_; // since the last bell passed on to the delegate

public:
    bool allowMouseReporting = true;
    // Bells closer than this to the last one passed on (milliseconds) are dropped.
    static constexpr int bellInterval = 150;
};
