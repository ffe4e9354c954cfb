#pragma once

#include <QByteArray>
#include <QString>

namespace brinmoor {

// Reads the text of the X CLIPBOARD selection on a connection of its own, so that a long paste is
// read off the GUI thread: Qt 6.4's X clipboard reads a selection synchronously on the GUI thread,
// INCR transfers included (150 MB: half a second to a second). The reader asks the owner for
// UTF8_STRING, else "text/plain;charset=utf-8", else STRING, as Qt does, and reads the answer in
// pieces, through the INCR protocol (ICCCM 2.7.2) when the owner sends it so. It stops as soon as
// the text is known to pass a bound, without reading the rest, and gives up on an owner that does
// not answer in time. Without xcb (macOS, a build without it) available() is false and the
// composer keeps to QClipboard.
namespace X11ClipboardReader {

// What a read gave.
enum class Outcome {
    Text,         // `bytes` holds the whole text
    Empty,        // no program holds the clipboard, or what it holds is empty
    TooLarge,     // the text passes the bound: nothing more was read; `size` is as much as is known
    NoAnswer,     // the owner did not answer in time, or stopped sending before the end
    NotText,      // the owner refused every text type, or sent something that is no text
    Unreachable,  // no connection to the X server
};

struct Result {
    Outcome outcome = Outcome::Empty;
    QByteArray bytes;     // the text as sent, for Outcome::Text
    bool latin1 = false;  // the owner sent STRING (ISO Latin-1), not UTF-8
    qint64 size = 0;      // bytes read, or for TooLarge the size known when the read stopped
    // For TooLarge: `size` is the text's whole size as the owner gave it, not only what had come
    // of it when the read stopped.
    bool sizeWhole = false;
    // The text as a QString (Latin-1 or UTF-8 as sent; a trailing NUL some owners add is dropped).
    QString text() const;
};

// How long the owner may take to answer, and to send each piece of an INCR transfer.
inline constexpr int answerTimeoutMs = 5000;
// How long a whole transfer may take: an owner that trickles a piece at a time forever is left.
inline constexpr int transferLimitMs = 120000;
// The size of one request for a property's value (a multiple of 4: offsets go in 32-bit units).
inline constexpr qint64 pieceBytes = 1024 * 1024;

// Whether the reader was built (xcb found at build time).
bool available();

// Reads the CLIPBOARD selection's text from the X server `display` (empty: $DISPLAY), stopping at
// `maxBytes`. Blocks for as long as the owner takes: never call it on the GUI thread.
Result readText(const QByteArray& display, qint64 maxBytes, int timeoutMs = answerTimeoutMs,
                int limitMs = transferLimitMs);

} // namespace X11ClipboardReader

} // namespace brinmoor
