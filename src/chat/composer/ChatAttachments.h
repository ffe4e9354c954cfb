#pragma once

#include "ChatModels.h"
#include "X11ClipboardReader.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

class QClipboard;
class QMimeData;

namespace brinmoor {

class AttachmentBudget;

// Turning pasted and chosen files and images into attachments: the composer's paste, the attach
// button's file chooser, and the question card's editor share these readers.
namespace ChatAttachments {

// The largest image whose bytes travel with a message (they go to the sidecar in Base64 on one
// line). A pasted image above it is refused; an image file above it is attached by path only.
inline constexpr qint64 imageCapBytes = 20 * 1024 * 1024;

// A paste of this many characters or more (some 1,500 lines of log) becomes a text attachment
// instead of text in the editor: laying out that much text alone holds the window for a visible
// moment (a megabyte: a third of a second), and a draft that long is past editing in a box of a
// few lines anyway.
inline constexpr qsizetype textAttachmentChars = 100000;

// "image/png", "image/jpeg", "image/gif" or "image/webp" by the file's extension (any letter
// case); none for any other file.
std::optional<QString> mimeForImage(const QUrl& url);
// The same four types by the bytes themselves (their signature); none for anything else. The
// model is sent the type the bytes are, whatever the file's name says.
std::optional<QString> imageTypeOf(const QByteArray& bytes);

// What a paste or a choice of files gives: the attachments, and why something was not attached
// (one line per refused file), shown in the composer.
struct PasteResult {
    QList<ChatAttachment> attachments;
    QString refusal;
    // Pasted text too short for an attachment, read off the GUI thread: it goes into the editor,
    // where it was pasted.
    QString editorText;
    // The read was cancelled (a new paste replaced it, the user stopped it, the pane closed):
    // nothing else is set.
    bool cancelled = false;
    // The paste was taken here (files, an image, long text): no text goes into the editor.
    bool handled() const { return !attachments.isEmpty() || !refusal.isEmpty(); }
};

// Chosen or pasted files, in order: an image (with its bytes) when its extension names an image
// type and its contents can be read within the cap; otherwise a file attachment with its name and
// path (a read failure is no error: the file simply goes by path). A file named as an image whose
// contents are no image is refused, and so is one that is no regular file (a device, a pipe):
// such a file is never opened for reading. The refusal says why. Reads up to the cap per image,
// so the composer calls it off the GUI thread. With a budget, each file takes its room in the
// message before it is read, and the files past the message's bound are refused in one line; a
// file that cannot be held in memory is refused by name.
PasteResult fromFiles(const QList<QUrl>& urls, AttachmentBudget* budget = nullptr);

// The local files a paste holds (its file URLs), in order; none when it holds no file.
QList<QUrl> localFiles(const QMimeData* mime);

// Image bytes of any format Qt reads (TIFF and WebP need the image-formats plugins) as PNG with
// no metadata; none when they do not decode.
std::optional<QByteArray> pngFromImageData(const QByteArray& data, const char* format = nullptr);

// The file name a pasted image is given for its type: "pasted.png", "pasted.jpg", "pasted.gif",
// "pasted.webp".
QString pastedImageName(const QString& mediaType);

// Pasted text as an attachment: its bytes (UTF-8) and no path, named by its size ("Pasted text
// (1.0 MB)"); the session sends it whole, inside the message. Its hidden characters go as their
// marks ("<U+E0041>"), and the name counts them.
ChatAttachment pastedText(const QString& text);

// What a paste offers, as read from the clipboard: nothing more is done with it on the way, as
// reading is all that must happen on the GUI thread where QClipboard is read (the app's own
// clipboard, a copy in memory; platforms without X11). Checking, converting, scanning and copying
// are resolve()'s, off that thread.
struct PastedData {
    QList<QUrl> files;      // the local files it names, in order
    QByteArray imageBytes;  // image data as offered, in `imageFormat` ("image/jpeg")
    QString imageFormat;
    QImage image;           // a picture offered as an image object (by this app)
    QString text;           // text of `textAttachmentChars` or more; none when shorter
    QString editorText;     // the shorter text, for the editor (no attachment: not counted below)
    bool isEmpty() const { return files.isEmpty() && imageFormat.isEmpty() && image.isNull() && text.isEmpty(); }
};

// Reads what a paste offers, first match wins: file URLs; image data in a format the agent
// takes (PNG, JPEG, GIF, WebP, in that order), as it is; other image data (TIFF, BMP); an image
// object; text. Image data of a format to convert brings the text as well, for when it does not
// convert; shorter text is left to the editor, in `editorText`.
PastedData read(const QMimeData* mime);

// What a paste gives: files one attachment each, in order; image data the agent takes as the
// image it is ("pasted.jpg" for a JPEG, within the cap as given); image data of another format
// and image objects converted to PNG ("pasted.png"), or to JPEG when the PNG passes the cap and
// the picture is opaque; text as a text attachment. An image over the cap, or image data that is
// no image, gives no attachment and `refusal` says why. Image data that does not convert falls
// back to the image object, then the text. With a budget, what it gives takes its room in the
// message, and a text past the room left is refused before it is converted or copied. Slow for
// large data: called off the GUI thread.
PasteResult resolve(const PastedData& data, AttachmentBudget* budget = nullptr);

// Takes room in the message for each attachment, in order; those past the bound leave the
// result and the refusal names them in one line.
void takeRoom(PasteResult& r, AttachmentBudget* budget);

// Whether a paste is read by X11ClipboardReader, off the GUI thread, instead of through
// `clipboard`: on X11 (the xcb platform), when another program holds the selection (the app's own
// is a copy in memory). Nothing is asked of the owner here (its list of types is asked for off the
// GUI thread too, by fromSelection()): whether the app holds the selection is known without a
// word to the X server. Everywhere else the paste goes through read().
bool readsTextItself(const QClipboard* clipboard, X11ClipboardReader::Selection selection = X11ClipboardReader::Selection::Clipboard);

// Keeps Qt's own text fields from asking the clipboard's owner anything on the GUI thread when
// another program takes the clipboard: each TextEdit and TextInput answers QClipboard's change
// signals by asking whether it could paste (QMimeData::hasText(), which on X11 asks the owner for
// its types and waits up to 5 s for an owner that does not answer, again for every field). No part
// of the app listens to those signals, and the fields' canPaste is read by no one, so QClipboard's
// signals are blocked for good. Call once, after the application object is made.
void quietClipboardSignals();

// A paste from the X selection `selection` of the X server `display` (empty: $DISPLAY), read as
// read() and resolve() read QClipboard's, in the same order: the owner's list of types first, then
// its files (text/uri-list), picture data, or text as fromSelectionText() reads it. An owner that
// does not answer at all gives clipboardNoAnswerMessage(). `control` shows how much has come and
// ends the read when cancelled (then the result is only `cancelled`). Blocks for as long as the
// owner takes: called off the GUI thread.
PasteResult fromSelection(const QByteArray& display, X11ClipboardReader::Selection selection, AttachmentBudget* budget = nullptr,
                          int timeoutMs = X11ClipboardReader::answerTimeoutMs, X11ClipboardReader::Control* control = nullptr);

// The CLIPBOARD selection's text read from the X server `display` (empty: $DISPLAY), as a paste:
// shorter than `textAttachmentChars`, `editorText`; longer, a text attachment as resolve() makes
// it, taking its room in the message (a text past the room the message has left is refused, and
// one past the message's bound is refused while it is read, without being read further). An
// owner that does not answer, or sends what is no text, gives a refusal that says so. Blocks for
// as long as the owner takes: called off the GUI thread.
PasteResult fromSelectionText(const QByteArray& display, AttachmentBudget* budget = nullptr,
                              int timeoutMs = X11ClipboardReader::answerTimeoutMs);

// resolve(read(mime)): what a paste holds, all at once.
PasteResult fromMimeData(const QMimeData* mime);
// The same for the system clipboard.
PasteResult fromClipboard();

// The messages shown when a pasted image is refused.
QString tooLargeMessage();
QString unreadableImageMessage();
// The line shown for a file named as an image whose contents are none.
QString notAnImageMessage(const QString& name);
// The line shown for a file named as an image that is a device, a pipe or a socket.
QString notAFileMessage(const QString& name);
// The lines shown when the program holding the clipboard did not answer (or stopped sending
// midway), sent what is no text, or the X server could not be reached.
QString clipboardSilentMessage();
// The line shown when the program holding the clipboard did not even say what it holds.
QString clipboardNoAnswerMessage();
QString clipboardNotTextMessage();
QString clipboardUnreachableMessage();
// The line shown for a file there was no memory to read.
QString noMemoryMessage(const QString& name);
// The line shown for a file whose name is not UTF-8 text, which no path given to the agent names.
QString notTextNameMessage(const QString& name);

} // namespace ChatAttachments

} // namespace brinmoor
