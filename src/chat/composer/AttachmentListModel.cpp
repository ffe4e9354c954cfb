#include "AttachmentListModel.h"

#include "AttachmentImages.h"
#include "ChatAttachments.h"

#include "ProviderDetection.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QImageReader>
#include <QLocale>
#include <QPointer>
#include <QQmlEngine>
#include <QQuickTextDocument>
#include <QTextDocumentFragment>

namespace brinmoor {

AttachmentListModel::AttachmentListModel(QObject* parent) : QAbstractListModel(parent) {}

AttachmentListModel::~AttachmentListModel()
{
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
    const QClipboard* clipboard = QGuiApplication::clipboard();
    // Another program's text on X11: QClipboard would read it all here, on the GUI thread (150 MB:
    // up to a second). It is read on a connection of its own on a pool thread instead, and only
    // then is it known whether it goes into the editor or becomes a chip.
    const auto* document = editor ? editor->property("textDocument").value<QQuickTextDocument*>() : nullptr;
    const bool editable = document && document->textDocument() && !editor->property("readOnly").toBool();
    const auto selection = [&] {
        QTextCursor place(document->textDocument());
        place.setPosition(editor->property("selectionStart").toInt());
        place.setPosition(editor->property("selectionEnd").toInt(), QTextCursor::KeepAnchor);
        return place;
    };
    if (editable && ChatAttachments::readsTextItself(clipboard)) {
        const QTextCursor place = selection();
        const quint64 textRead = m_nextTextRead++;
        m_pastePlaces.emplace(textRead, place);
        readOffThread([display = qgetenv("DISPLAY")](AttachmentBudget* budget) { return ChatAttachments::fromSelectionText(display, budget); },
                      QStringLiteral("The pasted text"), textRead);
        return true;
    }
    // Only the clipboard's read happens here; a long text is scanned and converted, a picture
    // checked or converted, on a pool thread, and its chip comes when that is done.
    ChatAttachments::PastedData pasted = ChatAttachments::read(clipboard ? clipboard->mimeData() : nullptr);
    if (pasted.isEmpty()) {
        // A text short enough for the editor, put in the composer's way when it has one.
        if (!editable || !m_placer || !m_placerOwner || pasted.editorText.isEmpty())
            return false;
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
    runProbe<ChatAttachments::PasteResult>(
        this,
        [work = std::move(work), what, budget = m_budget] {
            try {
                return work(budget.get());
            } catch (const std::bad_alloc&) {
                // Out of memory past what each file's read can catch: what was pasted or chosen
                // is not attached, the draft and the app go on.
                ChatAttachments::PasteResult r;
                r.refusal = ChatAttachments::noMemoryMessage(what);
                return r;
            }
        },
        [self, read, textRead](const ChatAttachments::PasteResult& r) {
            if (self)
                self->arrived(read, r, textRead);
        });
}

void AttachmentListModel::arrived(quint64 read, ChatAttachments::PasteResult r, std::optional<quint64> textRead)
{
    if (textRead) {
        m_textsArrived.emplace(*textRead, std::exchange(r.editorText, {}));
        for (auto it = m_textsArrived.find(m_nextTextPlaced); it != m_textsArrived.end(); it = m_textsArrived.find(m_nextTextPlaced)) {
            const auto place = m_pastePlaces.extract(m_nextTextPlaced);
            // As the editor pastes text itself: over the selection, as one step to undo. A
            // document gone with its pane leaves the cursor null.
            if (!it->second.isEmpty() && !place.empty() && !place.mapped().isNull()) {
                QTextCursor at = place.mapped();
                placeText(at, it->second);
            }
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
    if (!reading())
        emit readingChanged();
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
