#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

#include <cstdint>
#include <optional>
#include <span>

class TerminalView;

// The operations through which a terminal view reports to its owner. The view does not own
// its delegate; the owner clears it before going away.
class TerminalViewDelegate {
public:
    virtual ~TerminalViewDelegate() = default;

    // The terminal's size in cells changed.
    virtual void sizeChanged(TerminalView& source, int newCols, int newRows) = 0;
    // The program set the window title.
    virtual void setTerminalTitle(TerminalView& source, const QString& title) = 0;
    // The program reported its current directory (OSC 7); none when it was cleared.
    virtual void hostCurrentDirectoryUpdate(TerminalView& source, const std::optional<QString>& directory) = 0;
    // Bytes for the child process: keys, paste, replies, mouse reports.
    virtual void send(TerminalView& source, std::span<const uint8_t> data) = 0;
    // Bytes the terminal produces on its own (answers to the program's queries, mouse and focus
    // reports). A host may bound how many of these wait for a program that does not read them;
    // keys and pastes always come through send. Default: send.
    virtual void sendReply(TerminalView& source, std::span<const uint8_t> data) { send(source, data); }
    // The visible part of the buffer moved; position 0 (top) ... 1 (bottom).
    virtual void scrolled(TerminalView& source, double position) = 0;
    // The user Ctrl-clicked a hyperlinked cell. Default: open it with the desktop's handler.
    virtual void requestOpenLink(TerminalView& source, const QString& link, const QMap<QString, QString>& params);
    // The program rang the bell. Default: the system beep, and the view's bell signal.
    virtual void bell(TerminalView& source);
    // Bytes for the clipboard (OSC 52); the view itself never calls this.
    virtual void clipboardCopy(TerminalView& source, const QByteArray& content) = 0;
    // An OSC 1337 payload that is not an image. Default: nothing.
    virtual void iTermContent(TerminalView& source, std::span<const uint8_t> content) {}
    // A display update covered these rows (only with notifyUpdateChanges on).
    virtual void rangeChanged(TerminalView& source, int startY, int endY) = 0;
};
