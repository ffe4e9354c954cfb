#pragma once

#include "AttachmentBudget.h"
#include "ChatAttachments.h"
#include "ChatModels.h"
#include "ReadThreads.h"

#include <QAbstractListModel>
#include <QList>
#include <QPointer>
#include <QQmlParserStatus>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>

namespace brinmoor {

// The attachments waiting to go out with a chat pane's next message: the composer's chips. The
// paste path, the file chooser and sending all work on it in C++, so image bytes stay here; QML
// sees names, flags and a thumbnail URL (AttachmentImages). The list keeps to the bound of one
// message's attachments (AttachmentBudget): what would pass it is refused, and its notice says so.
class AttachmentListModel : public QAbstractListModel, public QQmlParserStatus {
    Q_OBJECT
    Q_INTERFACES(QQmlParserStatus)
    QML_ELEMENT
    Q_PROPERTY(int count READ count NOTIFY countChanged)
    // Why the last paste or choice of files left something out (an image over the cap, a file
    // named as an image that is none); empty otherwise.
    Q_PROPERTY(QString notice READ notice NOTIFY noticeChanged)
    // Chosen or pasted files are still being read; their chips are not in the list yet.
    Q_PROPERTY(bool reading READ reading NOTIFY readingChanged)
    // A paste is being read from the program that holds the clipboard (or the selection): one at a
    // time, a new paste replacing it. `pasteStatus` says what is read and how much has come, and
    // that the message waits for it when Return was pressed meanwhile; empty when there is nothing
    // to say.
    Q_PROPERTY(bool pasting READ pasting NOTIFY pastingChanged)
    Q_PROPERTY(QString pasteStatus READ pasteStatus NOTIFY pasteStatusChanged)
    // Return was pressed while attachments were still read: the message goes once they are in
    // (from the next composer, when the pane's session restarted or stopped meanwhile).
    Q_PROPERTY(bool sendPending READ sendPending NOTIFY pasteStatusChanged)
public:
    enum Role {
        AttachmentIdRole = Qt::UserRole + 1,  // the attachment's id as text
        NameRole,                             // file name shown on a file chip
        ShowsImageRole,                       // an image whose bytes decode: drawn as a thumbnail
        ThumbnailRole,                        // image URL of the thumbnail
    };

    explicit AttachmentListModel(QObject* parent = nullptr);
    ~AttachmentListModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;
    void classBegin() override {}
    void componentComplete() override;

    int count() const { return int(m_items.size()); }
    QString notice() const { return m_notice; }
    bool reading() const { return m_nextApplied != m_nextRead; }
    bool pasting() const { return bool(m_pasteControl); }
    QString pasteStatus() const;
    bool sendPending() const { return m_sendPending; }
    const QList<ChatAttachment>& items() const { return m_items; }

    // Adds what fits in the message; the notice names what did not.
    void append(const QList<ChatAttachment>& attachments);
    // The room the attachments take in the message (with files being read).
    const AttachmentBudget& budget() const { return *m_budget; }
    // Empties the list and hands its attachments over (for sending).
    QList<ChatAttachment> takeAll();

    // Removes every attachment with this id.
    Q_INVOKABLE void remove(const QString& id);
    Q_INVOKABLE void clear();
    // Files chosen in a file dialog, in its order. They are read on a pool thread (an image file
    // may be 20 MB, or on a slow mount) and join the list when read, after any files chosen or
    // pasted earlier.
    Q_INVOKABLE void addFiles(const QList<QUrl>& urls);
    // Attaches what the clipboard holds (files, an image, or text too long for the editor).
    // Returns true when the paste was taken here, attached or refused; false leaves it to the
    // text editor. Only the clipboard is read here: pasted files are read like chosen ones, and
    // pictures and long texts checked and converted, off the GUI thread. With `editor` (the
    // composer's TextEdit), whatever another program holds on X11 is read off the GUI thread, its
    // list of types included (ChatAttachments::readsTextItself, fromSelection), and the paste is
    // taken here whatever its length: a text too short for an attachment then goes into `editor`
    // where it was pasted (over what was selected, as one step to undo). One such paste is read at
    // a time: a new paste cancels the one in progress.
    Q_INVOKABLE bool pasteClipboard(QObject* editor = nullptr);
    // A middle click's paste: the X primary selection, read as pasteClipboard() reads the
    // clipboard (off the GUI thread, a long text as a chip), put in at `editor`'s cursor. False
    // where the platform has no such selection.
    Q_INVOKABLE bool pasteSelection(QObject* editor);
    // Stops the paste being read: nothing of it comes, and a message waiting for it stays a draft.
    Q_INVOKABLE void cancelPaste();
    // The message is sent as soon as everything being read is in (sendDue), unless something was
    // refused meanwhile (its line says why, and the draft stays); with no composer to send it then,
    // it waits for the next (takeWaitingSend). Called instead of sending while reading().
    void sendWhenRead();
    // How long the owner of a selection may take to answer (tests shorten it).
    void setAnswerTimeout(int ms) { m_answerTimeoutMs = ms; }
    // How a pasted text that goes into the editor is put in at `at` (over its selection, as one
    // step to undo): the composer's way while `owner` lives, plain text otherwise.
    using TextPlacer = std::function<void(QTextCursor& at, const QString& text)>;
    void setTextPlacer(QObject* owner, TextPlacer placer);
    QObject* textPlacerOwner() const { return m_placerOwner; }
    // A paste being read belongs to the pane's draft, not to the editor it was asked in: the
    // composer is built anew when its session restarts, and goes while its session is stopped.
    // `document` (the composer's editor) gives the draft back as it goes: the places of the pastes
    // still read in it are kept as offsets in the draft's text.
    void draftLeft(const QTextDocument* document);
    // `document` now holds the draft, its text the draft's: the pastes still read go there, where
    // they were asked for, and move with its edits from now on.
    void draftArrived(QTextDocument* document);
    // Where a pasted text goes when it comes while no editor holds the draft: `from` to `to` in the
    // draft's text (-1: its end) is replaced by it. The pane's draft sets it.
    using DraftKeeper = std::function<void(int from, int to, const QString& text)>;
    void setDraftKeeper(DraftKeeper keeper) { m_draftKeeper = std::move(keeper); }
    // A message waited for a read that ended while no composer was there to send it: true once,
    // for the composer that takes the draft next, which sends it.
    bool takeWaitingSend();
    // The composer sendDue() went to cannot send (its session has stopped, the composer is about to
    // go): the message waits for the next one as if none had been there.
    void keepSendWaiting();
    // A pasted text the editor is not to hold (too long to lay out in time) attached as a text
    // chip, in its room in the message like a long paste; `hidden`, how many hidden characters it
    // holds (sent as their marks), which its name then begins with.
    void attachPastedText(const QString& text, qsizetype hidden = 0);
    Q_INVOKABLE void clearNotice() { setNotice({}); }
    // Shows a line under the chips (a message that could not be sent).
    void say(const QString& notice) { setNotice(notice); }

signals:
    void countChanged();
    void noticeChanged();
    void readingChanged();
    void pastingChanged();
    void pasteStatusChanged();
    // Everything read that a message waited for is in: it can go now.
    void sendDue();

private:
    // Appends what was read and says why anything was left out; `budgeted`: the attachments'
    // room was taken when they were read.
    void take(const ChatAttachments::PasteResult& r, bool budgeted = false);
    void insert(const QList<ChatAttachment>& attachments);
    // Gives back the room of attachments that left the list.
    void giveBack(const QList<ChatAttachment>& gone);
    void setNotice(const QString& notice);
    static bool decodes(const ChatAttachment& a);
    // Reads the files on a pool thread; `take` gets what they gave in the order they were asked.
    void readFiles(const QList<QUrl>& urls);
    // Runs `work` on a pool thread with the message's budget; what it gives joins the list after
    // what was asked for before it. `what` names it in the line shown when memory runs out.
    // `textRead`: the number of a clipboard text read, whose text may go into the editor.
    void readOffThread(std::function<ChatAttachments::PasteResult(AttachmentBudget*)> work, const QString& what,
                       std::optional<quint64> textRead = std::nullopt);
    void arrived(quint64 read, ChatAttachments::PasteResult r, std::optional<quint64> textRead);
    void placeText(QTextCursor& at, const QString& text);
    // Where a paste goes: in an editor's document while one holds the draft, otherwise `from` to
    // `to` in the draft's text (-1: its end).
    struct PastePlace {
        QTextCursor cursor;
        int from = -1;
        int to = -1;
    };
    void placePaste(PastePlace& place, const QString& text);
    bool paste(QObject* editor, X11ClipboardReader::Selection selection);
    void endPaste();

    QList<ChatAttachment> m_items;
    QList<bool> m_showsImage;  // per row, decided once when added
    QString m_notice;
    quint64 m_nextRead = 0;     // the number the next read of files gets
    quint64 m_nextApplied = 0;  // the read whose result goes into the list next
    std::map<quint64, ChatAttachments::PasteResult> m_arrived;  // finished ahead of their turn
    // Clipboard texts read off the GUI thread: where each goes in the draft (the selection when it
    // was pasted, kept in step with edits since), and the texts read ahead of an earlier one.
    // They go in among themselves in the order of the pastes, not after files still being read.
    quint64 m_nextTextRead = 0;
    quint64 m_nextTextPlaced = 0;
    std::map<quint64, PastePlace> m_pastePlaces;
    QPointer<QTextDocument> m_draftDocument;  // the editor's that holds the draft; none while none does
    DraftKeeper m_draftKeeper;
    std::map<quint64, QString> m_textsArrived;
    QPointer<QObject> m_placerOwner;
    TextPlacer m_placer;
    // Shared with the reads under way, which take room for what they read.
    std::shared_ptr<AttachmentBudget> m_budget = std::make_shared<AttachmentBudget>();
    // The paste being read from another program, and the number of its read; none when no paste is.
    std::shared_ptr<X11ClipboardReader::Control> m_pasteControl;
    quint64 m_pasteRead = 0;
    bool m_pasteFromSelection = false;
    bool m_sendPending = false;
    int m_answerTimeoutMs = X11ClipboardReader::answerTimeoutMs;
    QTimer m_progress;  // how much of the paste has come, looked at while it is read
    // The composer's own threads for its reads: a read waits on another program (a clipboard owner,
    // a slow mount), and Qt's shared pool is the one the software renderer splits its fills over.
    // Made last, so ended first: its reads are cancelled and waited for before the rest goes.
    std::unique_ptr<ReadThreads> m_threads;
};

} // namespace brinmoor
