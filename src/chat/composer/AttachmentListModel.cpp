#include "AttachmentListModel.h"

#include "AttachmentImages.h"
#include "ChatAttachments.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QImageReader>
#include <QLocale>
#include <QMetaMethod>
#include <QMimeData>
#include <QPointer>
#include <QQmlEngine>
#include <QQuickTextDocument>
#include <QTextDocumentFragment>

#include <algorithm>

namespace brinmoor {

AttachmentListModel::AttachmentListModel(QObject* parent)
    : QAbstractListModel(parent), m_threads(std::make_unique<ReadThreads>())
{
    m_progress.setInterval(200);
    connect(&m_progress, &QTimer::timeout, this, &AttachmentListModel::pasteStatusChanged);
}

AttachmentListModel::~AttachmentListModel()
{
    // A pane (or the window) closed mid-read: the read ends now rather than when its owner
    // stops answering, and its thread with it.
    if (m_pasteControl)
        m_pasteControl->cancel();
    m_threads.reset();
    for (int row = 0; row < m_items.size(); ++row)
        if (m_showsImage.at(row))
            AttachmentImages::release(m_items.at(row).idText());
}

void AttachmentListModel::componentComplete()
{
    AttachmentImages::installOn(qmlEngine(this));
}

int AttachmentListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_items.size());
}

QVariant AttachmentListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_items.size())
        return {};
    const ChatAttachment& a = m_items.at(index.row());
    switch (role) {
    case AttachmentIdRole:
        return a.idText();
    case NameRole:
        return a.name;
    case ShowsImageRole:
        return m_showsImage.at(index.row());
    case ThumbnailRole:
        return AttachmentImages::urlFor(a.idText());
    }
    return {};
}

QHash<int, QByteArray> AttachmentListModel::roleNames() const
{
    return {{AttachmentIdRole, "attachmentId"}, {NameRole, "name"}, {ShowsImageRole, "showsImage"},
            {ThumbnailRole, "thumbnail"}};
}

bool AttachmentListModel::decodes(const ChatAttachment& a)
{
    if (!a.isImage || !a.data)
        return false;
    QByteArray bytes = *a.data;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    return QImageReader(&buffer).canRead();
}

void AttachmentListModel::append(const QList<ChatAttachment>& attachments)
{
    ChatAttachments::PasteResult r;
    r.attachments = attachments;
    take(r);
}

void AttachmentListModel::giveBack(const QList<ChatAttachment>& gone)
{
    for (const ChatAttachment& a : gone)
        m_budget->give(AttachmentBudget::costOf(a));
}

void AttachmentListModel::insert(const QList<ChatAttachment>& attachments)
{
    if (attachments.isEmpty())
        return;
    setNotice({});
    const int first = int(m_items.size());
    beginInsertRows({}, first, first + int(attachments.size()) - 1);
    for (const ChatAttachment& a : attachments) {
        m_items << a;
        const bool image = decodes(a);
        m_showsImage << image;
        if (image)
            AttachmentImages::publish(a.idText(), *a.data);
    }
    endInsertRows();
    emit countChanged();
}

QList<ChatAttachment> AttachmentListModel::takeAll()
{
    QList<ChatAttachment> out = m_items;
    clear();
    return out;
}


void AttachmentListModel::remove(const QString& id)
{
    for (int row = int(m_items.size()) - 1; row >= 0; --row) {
        if (m_items.at(row).idText() != id)
            continue;
        beginRemoveRows({}, row, row);
        const ChatAttachment gone = m_items.takeAt(row);
        const bool image = m_showsImage.takeAt(row);
        endRemoveRows();
        if (image)
            AttachmentImages::release(gone.idText());
        giveBack({gone});
        emit countChanged();
    }
}

void AttachmentListModel::clear()
{
    if (m_items.isEmpty())
        return;
    beginResetModel();
    for (int row = 0; row < m_items.size(); ++row)
        if (m_showsImage.at(row))
            AttachmentImages::release(m_items.at(row).idText());
    giveBack(m_items);
    m_items.clear();
    m_showsImage.clear();
    endResetModel();
    emit countChanged();
}

void AttachmentListModel::addFiles(const QList<QUrl>& urls)
{
    if (!urls.isEmpty())
        readFiles(urls);
}

bool AttachmentListModel::pasteClipboard(QObject* editor)
{
    return paste(editor, X11ClipboardReader::Selection::Clipboard);
}

bool AttachmentListModel::pasteSelection(QObject* editor)
{
    const QClipboard* clipboard = QGuiApplication::clipboard();
    if (!editor || !clipboard || !clipboard->supportsSelection())
        return false;
    return paste(editor, X11ClipboardReader::Selection::Primary);
}

bool AttachmentListModel::paste(QObject* editor, X11ClipboardReader::Selection from)
{
    const QClipboard* clipboard = QGuiApplication::clipboard();
    const bool primary = from == X11ClipboardReader::Selection::Primary;
    const auto* document = editor ? editor->property("textDocument").value<QQuickTextDocument*>() : nullptr;
    const bool editable = document && document->textDocument() && !editor->property("readOnly").toBool();
    const auto selection = [&] {
        QTextCursor place(document->textDocument());
        place.setPosition(editor->property("selectionStart").toInt());
        place.setPosition(editor->property("selectionEnd").toInt(), QTextCursor::KeepAnchor);
        return place;
    };
    if (primary && !editable)
        return false;
    // One paste at a time: a new one replaces the one still being read (a user who saw nothing
    // come presses again; each would otherwise wait out its owner on a thread of its own).
    if (m_pasteControl) {
        m_pasteControl->cancel();
        endPaste();
    }
    // The line about an earlier paste is no longer news.
    setNotice({});
    // Another program's paste on X11: QClipboard would ask its owner for the types and read the
    // data here, on the GUI thread (an owner that does not answer: 5 s per question; 150 MB: up
    // to a second). All of it is read on a connection of its own on the composer's own thread
    // instead, and only then is it known whether it goes into the editor or becomes a chip.
    if (editable && ChatAttachments::readsTextItself(clipboard, from)) {
        const quint64 textRead = m_nextTextRead++;
        m_pastePlaces.emplace(textRead, PastePlace{selection()});
        auto control = std::make_shared<X11ClipboardReader::Control>();
        m_pasteControl = control;
        m_pasteRead = m_nextRead;
        m_pasteFromSelection = primary;
        m_progress.start();
        emit pastingChanged();
        emit pasteStatusChanged();
        readOffThread(
            [display = qgetenv("DISPLAY"), from, control, timeout = m_answerTimeoutMs](AttachmentBudget* budget) {
                return ChatAttachments::fromSelection(display, from, budget, timeout, control.get());
            },
            QStringLiteral("The pasted text"), textRead);
        return true;
    }
    // Only the clipboard's read happens here (the app's own, a copy in memory, or a platform
    // without X11); a long text is scanned and converted, a picture checked or converted, on the
    // composer's thread, and its chip comes when that is done.
    const QMimeData* mime = clipboard ? clipboard->mimeData(primary ? QClipboard::Selection : QClipboard::Clipboard) : nullptr;
    ChatAttachments::PastedData pasted = ChatAttachments::read(mime);
    if (pasted.isEmpty()) {
        // A text short enough for the editor, put in the composer's way when it has one. A middle
        // click's is always put in here: the editor no longer takes that button.
        if (!editable || pasted.editorText.isEmpty() || (!primary && (!m_placer || !m_placerOwner)))
            return primary;
        QTextCursor at = selection();
        placeText(at, pasted.editorText);
        return true;
    }
    const bool converting = pasted.files.isEmpty() && !pasted.imageFormat.isEmpty();
    const QString what = !pasted.files.isEmpty() ? (pasted.files.size() == 1 ? pasted.files.first().fileName() : QStringLiteral("%1 files").arg(pasted.files.size()))
                       : !pasted.text.isEmpty() && pasted.imageFormat.isEmpty() && pasted.image.isNull() ? QStringLiteral("The pasted text")
                                                                                                       : QStringLiteral("The pasted image");
    readOffThread(
        [pasted = std::move(pasted), converting](AttachmentBudget* budget) {
            ChatAttachments::PasteResult r = ChatAttachments::resolve(pasted, budget);
            // Picture data that would not convert, with nothing else to take: the editor cannot
            // have the paste now, so the line says why nothing came.
            if (converting && !r.handled())
                r.refusal = ChatAttachments::unreadableImageMessage();
            return r;
        },
        what);
    return true;
}

void AttachmentListModel::cancelPaste()
{
    if (!m_pasteControl)
        return;
    m_pasteControl->cancel();
    endPaste();
    // The message waited for this paste: it stays a draft, to be sent again with or without it.
    if (m_sendPending) {
        m_sendPending = false;
        emit pasteStatusChanged();
    }
}

void AttachmentListModel::endPaste()
{
    m_pasteControl.reset();
    m_progress.stop();
    emit pastingChanged();
    emit pasteStatusChanged();
}

void AttachmentListModel::sendWhenRead()
{
    if (m_sendPending || !reading())
        return;
    m_sendPending = true;
    emit pasteStatusChanged();
}

QString AttachmentListModel::pasteStatus() const
{
    const QString waits = m_sendPending ? QStringLiteral(" The message goes once it is in.") : QString();
    if (!m_pasteControl && m_sendPending && !reading())
        return QStringLiteral("The paste is in. The message goes once its session is back.");
    if (!m_pasteControl)
        return m_sendPending ? QStringLiteral("Reading the attachments. The message goes once they are in.") : QString();
    const qint64 got = m_pasteControl->received();
    const QString holder = m_pasteFromSelection ? QStringLiteral("the selection") : QStringLiteral("the clipboard");
    if (got == 0)
        return QStringLiteral("Waiting for the program holding %1…").arg(holder) + waits;
    return QStringLiteral("Reading the paste from the program holding %1: %2 so far…")
               .arg(holder, QLocale::c().formattedDataSize(got, 1, QLocale::DataSizeTraditionalFormat))
         + waits;
}

void AttachmentListModel::readFiles(const QList<QUrl>& urls)
{
    readOffThread([urls](AttachmentBudget* budget) { return ChatAttachments::fromFiles(urls, budget); },
                  urls.size() == 1 ? urls.first().fileName() : QStringLiteral("%1 files").arg(urls.size()));
}

void AttachmentListModel::readOffThread(std::function<ChatAttachments::PasteResult(AttachmentBudget*)> work, const QString& what,
                                        std::optional<quint64> textRead)
{
    const bool wasReading = reading();
    const quint64 read = m_nextRead++;
    if (!wasReading)
        emit readingChanged();
    QPointer<AttachmentListModel> self(this);
    // A thread each (a paste replacing one that is still winding down does not wait for it, and
    // files chosen meanwhile are read beside it).
    const bool started = m_threads->start([self, read, textRead, work = std::move(work), what, budget = m_budget] {
        ChatAttachments::PasteResult r;
        try {
            r = work(budget.get());
        } catch (const std::bad_alloc&) {
            // Out of memory past what each file's read can catch: what was pasted or chosen
            // is not attached, the draft and the app go on.
            r = {};
            r.refusal = ChatAttachments::noMemoryMessage(what);
        }
        if (QCoreApplication* app = QCoreApplication::instance())
            QMetaObject::invokeMethod(app, [self, read, textRead, r = std::move(r)] {
                if (self)
                    self->arrived(read, r, textRead);
            }, Qt::QueuedConnection);
    });
    if (!started) {
        // The system made no thread (its task limit reached): the read ends now as a refusal,
        // through the same door as any other, so that the line says why and a message waiting
        // for it is not held for a read that never runs.
        ChatAttachments::PasteResult r;
        r.refusal = textRead ? QStringLiteral("Nothing was pasted: %1.").arg(ReadThreads::refusal())
                             : QStringLiteral("%1 was not attached: %2.").arg(what, ReadThreads::refusal());
        QMetaObject::invokeMethod(this, [self, read, textRead, r = std::move(r)] {
            if (self)
                self->arrived(read, r, textRead);
        }, Qt::QueuedConnection);
    }
}

void AttachmentListModel::arrived(quint64 read, ChatAttachments::PasteResult r, std::optional<quint64> textRead)
{
    if (m_pasteControl && read == m_pasteRead)
        endPaste();
    if (textRead) {
        m_textsArrived.emplace(*textRead, std::exchange(r.editorText, {}));
        for (auto it = m_textsArrived.find(m_nextTextPlaced); it != m_textsArrived.end(); it = m_textsArrived.find(m_nextTextPlaced)) {
            auto place = m_pastePlaces.extract(m_nextTextPlaced);
            if (!it->second.isEmpty() && !place.empty())
                placePaste(place.mapped(), it->second);
            m_textsArrived.erase(it);
            ++m_nextTextPlaced;
        }
    }
    m_arrived.emplace(read, std::move(r));
    // A quicker later read waits for the earlier ones, so chips keep the order they were given in.
    for (auto it = m_arrived.find(m_nextApplied); it != m_arrived.end(); it = m_arrived.find(m_nextApplied)) {
        const ChatAttachments::PasteResult next = std::move(it->second);
        m_arrived.erase(it);
        ++m_nextApplied;
        take(next, true);
    }
    if (reading())
        return;
    emit readingChanged();
    // What the message waited for is in; a refusal meanwhile keeps the draft, its line saying why.
    // With no composer to send it (its session restarted or stopped meanwhile), the message waits
    // for the next one, which finds the paste in the draft.
    if (!m_sendPending)
        return;
    if (m_notice.isEmpty() && !isSignalConnected(QMetaMethod::fromSignal(&AttachmentListModel::sendDue))) {
        emit pasteStatusChanged();
        return;
    }
    m_sendPending = false;
    emit pasteStatusChanged();
    if (m_notice.isEmpty())
        emit sendDue();
}

bool AttachmentListModel::takeWaitingSend()
{
    if (!m_sendPending || reading())
        return false;
    m_sendPending = false;
    emit pasteStatusChanged();
    return true;
}

void AttachmentListModel::keepSendWaiting()
{
    if (m_sendPending)
        return;
    m_sendPending = true;
    emit pasteStatusChanged();
}

void AttachmentListModel::draftLeft(const QTextDocument* document)
{
    for (auto& [read, place] : m_pastePlaces)
        if (!place.cursor.isNull() && place.cursor.document() == document) {
            place.from = place.cursor.selectionStart();
            place.to = place.cursor.selectionEnd();
            place.cursor = {};
        }
    if (m_draftDocument == document)
        m_draftDocument = nullptr;
}

namespace {

// The stretch `from` to `to` of `document` (-1: its end), held within its text.
QTextCursor stretchOf(QTextDocument* document, int from, int to)
{
    const int end = document->characterCount() - 1;
    QTextCursor at(document);
    at.setPosition(from < 0 ? end : std::min(from, end));
    at.setPosition(to < 0 ? end : std::clamp(to, at.position(), end), QTextCursor::KeepAnchor);
    return at;
}

} // namespace

void AttachmentListModel::draftArrived(QTextDocument* document)
{
    m_draftDocument = document;
    if (!document)
        return;
    for (auto& [read, place] : m_pastePlaces)
        if (place.cursor.isNull())
            place.cursor = stretchOf(document, place.from, place.to);
}

void AttachmentListModel::placePaste(PastePlace& place, const QString& text)
{
    // As the editor pastes text itself: over the selection, as one step to undo. A document that
    // went without giving the draft back (torn down with its pane) leaves the cursor null: the
    // text then goes at the end of the draft, wherever it is now.
    if (place.cursor.isNull() && m_draftDocument)
        place.cursor = stretchOf(m_draftDocument, place.from, place.to);
    if (!place.cursor.isNull()) {
        placeText(place.cursor, text);
        return;
    }
    if (m_draftKeeper) {
        m_draftKeeper(place.from, place.to, text);
        return;
    }
    setNotice(QStringLiteral("Nothing was pasted: the draft it was pasted into is gone."));
}

void AttachmentListModel::attachPastedText(const QString& text, qsizetype hidden)
{
    ChatAttachments::PasteResult r;
    r.attachments << ChatAttachments::pastedText(text);
    // The hidden characters are why it is a chip: their count leads its name, which the chip
    // shortens in its middle.
    if (hidden > 0) {
        ChatAttachment& a = r.attachments.first();
        const QString count = hidden == 1 ? QStringLiteral("1 hidden character")
                                          : QStringLiteral("%1 hidden characters").arg(QLocale(QLocale::English).toString(qlonglong(hidden)));
        a.name = QStringLiteral("%1 · Pasted text (%2)").arg(count, QLocale::c().formattedDataSize(a.data->size(), 1, QLocale::DataSizeTraditionalFormat));
    }
    take(r);
}

void AttachmentListModel::setTextPlacer(QObject* owner, TextPlacer placer)
{
    m_placerOwner = owner;
    m_placer = owner ? std::move(placer) : TextPlacer();
}

void AttachmentListModel::placeText(QTextCursor& at, const QString& text)
{
    if (m_placer && m_placerOwner)
        m_placer(at, text);
    else
        at.insertFragment(QTextDocumentFragment::fromPlainText(text));
}

void AttachmentListModel::take(const ChatAttachments::PasteResult& r, bool budgeted)
{
    ChatAttachments::PasteResult fit = r;
    if (!budgeted)
        ChatAttachments::takeRoom(fit, m_budget.get());
    insert(fit.attachments);
    if (!fit.refusal.isEmpty())
        setNotice(fit.refusal);
}

void AttachmentListModel::setNotice(const QString& notice)
{
    if (m_notice == notice)
        return;
    m_notice = notice;
    emit noticeChanged();
}

} // namespace brinmoor
