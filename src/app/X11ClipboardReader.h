#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>
#include <memory>

class QClipboard;

namespace brinmoor {

// Reads a paste from the X CLIPBOARD or PRIMARY selection on a connection of its own, so that no
// part of it waits on the GUI thread: Qt 6.4's X clipboard asks the owner for its list of types and
// reads the data synchronously on the GUI thread, INCR transfers included (150 MB: half a second to
// a second), and waits 5 s for an owner that does not answer. The reader asks the owner for
// UTF8_STRING, else "text/plain;charset=utf-8", else STRING, as Qt does, and reads the answer in
// pieces, through the INCR protocol (ICCCM 2.7.2) when the owner sends it so. It stops as soon as
// the text is known to pass a bound, without reading the rest, and gives up on an owner that does
// not answer in time. Without xcb (macOS, a build without it) available() is false and its
// users (the chat composer, the terminal view) keep to QClipboard.
namespace X11ClipboardReader {

// What a read gave.
enum class Outcome {
    Text,         // `bytes` holds the whole text
    Empty,        // no program holds the clipboard, or what it holds is empty
    TooLarge,     // the text passes the bound: nothing more was read; `size` is as much as is known
    NoAnswer,     // the owner did not answer in time, or stopped sending before the end
    NotText,      // the owner refused every text type, or sent something that is no text
    Unreachable,  // no connection to the X server
    Cancelled,    // ended by Control::cancel() before it was done
};

// The selection a paste is read from: CLIPBOARD (Ctrl+V) or PRIMARY (a middle click).
enum class Selection { Clipboard, Primary };

// What a read in progress shares with the thread that asked for it: how much has come so far, and
// a way to end it at once (a read waits on the owner; a cancel wakes it, whatever it waits for).
class Control {
public:
    Control();
    ~Control();
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;
    void cancel();
    bool cancelled() const { return m_cancelled.load(); }
    qint64 received() const { return m_received.load(); }
    void setReceived(qint64 bytes) { m_received.store(bytes); }
    // Readable once cancelled (-1 when none could be made: the read then looks at the flag often).
    int wakeFd() const { return m_fd; }

private:
    std::atomic<bool> m_cancelled{false};
    std::atomic<qint64> m_received{0};
    int m_fd = -1;
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

// Whether a paste from `selection` is to be read here rather than through `clipboard`: on X11 (the
// xcb platform) when another program holds it. When the app holds it itself (copied from one of its
// panes or fields), Qt answers from memory without asking the X server, and QClipboard is used.
bool readsFromOwner(const QClipboard* clipboard, Selection selection);

// Reads the CLIPBOARD selection's text from the X server `display` (empty: $DISPLAY), stopping at
// `maxBytes`. Blocks for as long as the owner takes: never call it on the GUI thread.
Result readText(const QByteArray& display, qint64 maxBytes, int timeoutMs = answerTimeoutMs,
                int limitMs = transferLimitMs);

class Transfer;

// One paste read from one selection, on one connection: the owner's list of types, then the data of
// the type chosen from it. Every call blocks for as long as the owner takes (each answer at most
// `timeoutMs`, the whole at most `limitMs`) or until `control` is cancelled: never on the GUI thread.
class Reader {
public:
    Reader(const QByteArray& display, Selection selection, int timeoutMs = answerTimeoutMs, int limitMs = transferLimitMs,
           Control* control = nullptr);
    ~Reader();
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    // The owner's types (TARGETS) by name: Text with the list (empty when the owner keeps none),
    // Empty when nobody holds the selection, NoAnswer, Unreachable or Cancelled.
    Outcome types(QList<QByteArray>* names);
    // The selection's text, as readText() reads it (the types asked for above are not asked again).
    Result text(qint64 maxBytes);
    // The selection's data as `type` (8-bit items of any type), up to `maxBytes`; Text when read,
    // NotText when the owner refuses it.
    Result data(const QByteArray& type, qint64 maxBytes);

private:
    Result finished(Result r) const;
    std::unique_ptr<Transfer> m_transfer;
    Control* m_control;
};

} // namespace X11ClipboardReader

} // namespace brinmoor
