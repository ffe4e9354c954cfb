#pragma once

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include <functional>

class QUrl;

namespace brinmoor {

// Text helpers of the chat views: counting, the clipboard, and opening links from agent text.
class ChatText : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
public:
    explicit ChatText(QObject* parent = nullptr) : QObject(parent) {}

    // User-perceived characters (grapheme clusters), not UTF-16 units.
    Q_INVOKABLE static int characterCount(const QString& text);
    // Pieces between line feeds, empty ones included: "" is one line, "a\n" two.
    Q_INVOKABLE static int lineCount(const QString& text);
    // The first `count` lines (all of them when there are fewer), without the line feed after.
    Q_INVOKABLE static QString firstLines(const QString& text, int count);
    // Puts `text` on the clipboard as it is, replacing what was there.
    Q_INVOKABLE static void copy(const QString& text);
    // Opens an http, https or mailto link with the desktop's handler; anything else is refused
    // (agent text must not start programs or open files). Returns whether it was opened.
    Q_INVOKABLE static bool openLink(const QString& href);
    // Whether the markdown renderer's rich text `html` needs a rich-text item to show as made.
    Q_INVOKABLE static bool needsRichText(const QString& html);
    // Text we show but did not write (tool output, code, the user's own pasted text) with every
    // direction embedding, override and isolate closed at the end of its line (DirectionalRuns):
    // one line's right-to-left override never reverses the lines after it.
    Q_INVOKABLE static QString shownLines(const QString& text);
    // Text that names what will be acted on, or is code, with its hidden characters (direction
    // controls, invisible format characters, control characters: HiddenCharacters) shown as
    // marks: "" when it holds none, and the item shows the text as it is. For a rich-text item
    // (code, diff lines), a styled-text one of many lines (tool output), and a styled-text one
    // of one line (names, paths, commands in a header), where line breaks are marks too.
    Q_INVOKABLE static QString markedCode(const QString& text);
    Q_INVOKABLE static QString markedOutput(const QString& text);
    Q_INVOKABLE static QString markedName(const QString& text);
    // The row that ends a cut text: "… 1 more line", "… 3 more lines".
    Q_INVOKABLE static QString moreLines(int count);

    // Where links go; tests replace it.
    static std::function<void(const QUrl&)> linkOpener;
};

} // namespace brinmoor
