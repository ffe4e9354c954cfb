#include "ComposerModel.h"

#include "AttachmentImages.h"
#include "ComposerLogic.h"
#include "HiddenCharacters.h"

#include <QQmlEngine>

#include <QMetaMethod>
#include <QMetaProperty>
#include <QQuickTextDocument>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <QVariantList>

namespace brinmoor {

namespace {

// Set on the characters of a mark, so that text typed next to one (which takes the format of
// the character before it) can be told from it.
constexpr int markProperty = QTextFormat::UserProperty + 64;

QTextCharFormat markFormat()
{
    QTextCharFormat f;
    f.setForeground(QColor(0xd9, 0x4f, 0x8c));
    f.setProperty(markProperty, true);
    return f;
}

} // namespace

ComposerModel::ComposerModel(QObject* parent) : QObject(parent)
{
    // canSend depends on the draft and the attachment count; both paths land here.
    connect(this, &ComposerModel::draftChanged, this, &ComposerModel::onSessionState);
    m_ownStore = new ComposerDraft(this);
    m_store = m_ownStore;
    setAttachments(m_ownStore->attachments());
}

ComposerModel::~ComposerModel()
{
    keepInStore();
    disconnect(m_editorGone);
}

void ComposerModel::componentComplete()
{
    AttachmentImages::installOn(qmlEngine(this));
}

QVariant ComposerModel::sessionValue(const char* property) const
{
    return m_session ? m_session->property(property) : QVariant();
}

void ComposerModel::watch(const char* property, const char* slot)
{
    const QMetaObject* meta = m_session->metaObject();
    const int index = meta->indexOfProperty(property);
    if (index < 0 || !meta->property(index).hasNotifySignal())
        return;
    const QMetaMethod target = staticMetaObject.method(staticMetaObject.indexOfSlot(slot));
    m_sessionLinks << connect(m_session, meta->property(index).notifySignal(), this, target);
}

void ComposerModel::setSession(QObject* session)
{
    if (m_session == session)
        return;
    for (const auto& link : std::as_const(m_sessionLinks))
        disconnect(link);
    m_sessionLinks.clear();
    m_session = session;
    if (m_session) {
        for (const char* p : {"busy", "pendingPermission", "pendingQuestion", "accepting"})
            watch(p, "onSessionState()");
        watch("availableCommands", "onCommands()");
    }
    emit sessionChanged();
    onSessionState();
    refreshSlash();
}

ComposerDraft* ComposerModel::store() const
{
    return m_store ? m_store.data() : m_ownStore;
}

void ComposerModel::setStore(ComposerDraft* store)
{
    ComposerDraft* next = store ? store : m_ownStore;
    if (m_store == next)
        return;
    // What this composer holds stays with the store it was typed for.
    keepInStore();
    disconnect(m_storeGone);
    m_store = next;
    // A session's store goes with the session: the composer then keeps its own.
    if (next != m_ownStore)
        m_storeGone = connect(next, &QObject::destroyed, this, [this] {
            m_store = m_ownStore;
            setAttachments(m_ownStore->attachments());
            emit storeChanged();
        });
    setAttachments(next->attachments());
    emit storeChanged();
    loadFromStore();
}

void ComposerModel::keepInStore()
{
    if (!m_store || !m_document || !m_textEdit)
        return;
    m_store->keep(m_document->toPlainText(), m_textEdit->property("cursorPosition").toInt(), marksToKeep());
}

QList<ComposerDraft::Mark> ComposerModel::marksToKeep() const
{
    QList<ComposerDraft::Mark> kept;
    if (!m_document)
        return kept;
    const QString text = m_document->toPlainText();
    for (const Mark& m : m_marks) {
        const int at = m.start.position();
        if (QStringView(text).mid(at).startsWith(HiddenCharacters::markFor(m.character)))
            kept.append({at, m.character});
    }
    return kept;
}

void ComposerModel::loadFromStore()
{
    const ComposerDraft* from = store();
    if (m_document) {
        if (m_document->toPlainText() != from->text())
            m_textEdit->setProperty("text", from->text());
        restoreMarks(from->marks());
        // The store holds its cursor within its text (an editor still being made may not show
        // the text yet).
        const int cursor = from->cursorPosition();
        m_textEdit->setProperty("cursorPosition", cursor);
        // An editor still being made puts its cursor at the start as it completes, and may take
        // the text only then: once more after that, unless the draft changed meanwhile.
        QMetaObject::invokeMethod(
            this, [this, edit = QPointer<QQuickItem>(m_textEdit), cursor, text = from->text(), marks = from->marks()] {
                if (edit && edit == m_textEdit && m_document && m_document->toPlainText() == text) {
                    restoreMarks(marks);
                    edit->setProperty("cursorPosition", cursor);
                }
            }, Qt::QueuedConnection);
    }
    onDraftEdited();
}

void ComposerModel::restoreMarks(const QList<ComposerDraft::Mark>& marks)
{
    if (marks.isEmpty() || !m_document)
        return;
    const QString text = m_document->toPlainText();
    QTextCursor edit(m_document);
    m_marking = true;
    for (const ComposerDraft::Mark& kept : marks) {
        const QString mark = HiddenCharacters::markFor(kept.character);
        const bool known = std::any_of(m_marks.cbegin(), m_marks.cend(), [&](const Mark& m) { return m.start.position() == kept.at; });
        if (known || kept.at < 0 || !QStringView(text).mid(kept.at).startsWith(mark))
            continue;
        edit.setPosition(kept.at);
        edit.setPosition(kept.at + int(mark.size()), QTextCursor::KeepAnchor);
        edit.setCharFormat(markFormat());
        QTextCursor start(m_document);
        start.setPosition(kept.at);
        m_marks.append({start, kept.character});
    }
    m_marking = false;
    emit hiddenChanged();
}

void ComposerModel::setAttachments(AttachmentListModel* attachments)
{
    if (m_attachments == attachments)
        return;
    for (const auto& link : std::as_const(m_attachmentLinks))
        disconnect(link);
    m_attachmentLinks.clear();
    m_attachments = attachments;
    if (m_attachments)
        for (auto signal : {&AttachmentListModel::countChanged, &AttachmentListModel::readingChanged})
            m_attachmentLinks << connect(m_attachments, signal, this, &ComposerModel::onSessionState);
    emit attachmentsChanged();
    onSessionState();
}

QString ComposerModel::draft() const
{
    return m_document ? m_document->toPlainText() : store()->text();
}

void ComposerModel::setDraft(const QString& draft)
{
    if (m_document) {
        // Through the editor, which reports the edit back like a typed one.
        if (m_document->toPlainText() == draft)
            return;
        m_textEdit->setProperty("text", draft);
        m_textEdit->setProperty("cursorPosition", m_textEdit->property("length"));
        return;
    }
    if (store()->text() == draft)
        return;
    store()->keep(draft, int(draft.size()));
    onDraftEdited();
}

void ComposerModel::setTextEdit(QQuickItem* edit)
{
    if (m_textEdit == edit)
        return;
    // The draft moves to its new holder through the store, its cursor with it.
    keepInStore();
    disconnect(m_documentLink);
    disconnect(m_editorGone);
    disconnect(m_cursorLink);
    disconnect(m_marksLink);
    m_marks.clear();
    m_editedFrom = m_editedTo = -1;
    const auto* quickDocument = edit ? edit->property("textDocument").value<QQuickTextDocument*>() : nullptr;
    m_document = quickDocument ? quickDocument->textDocument() : nullptr;
    m_textEdit = m_document ? edit : nullptr;
    if (m_document) {
        m_documentLink = connect(m_document, &QTextDocument::contentsChange, this, &ComposerModel::onDraftEdited);
        m_marksLink = connect(m_document, &QTextDocument::contentsChange, this, &ComposerModel::onContentsChange);
        // The editor may go before this model does (its view torn down first): its document, a
        // child of it, still holds the draft while the editor's destroyed() is emitted.
        m_editorGone = connect(m_textEdit, &QObject::destroyed, this, [this] {
            if (m_store && m_document)
                m_store->keep(m_document->toPlainText(), m_cursorSeen, marksToKeep());
            m_document = nullptr;
            m_marks.clear();
            disconnect(m_documentLink);
            disconnect(m_marksLink);
        });
        m_cursorLink = connect(m_textEdit, SIGNAL(cursorPositionChanged()), this, SLOT(onCursorMoved()));
        onCursorMoved();
    }
    emit textEditChanged();
    emit hiddenChanged();
    loadFromStore();
}

void ComposerModel::onCursorMoved()
{
    if (m_textEdit)
        m_cursorSeen = m_textEdit->property("cursorPosition").toInt();
}

int ComposerModel::draftLength() const
{
    return m_document ? m_document->characterCount() - 1 : int(store()->text().size());
}

QChar ComposerModel::draftAt(int i) const
{
    if (!m_document)
        return store()->text().at(i);
    // As the document's plain text has it.
    const QChar c = m_document->characterAt(i);
    switch (c.unicode()) {
    case QChar::ParagraphSeparator:
    case QChar::LineSeparator:
        return u'\n';
    case QChar::Nbsp:
        return u' ';
    default:
        return c;
    }
}

QString ComposerModel::draftHead() const
{
    const qsizetype n = std::min<qsizetype>(draftLength(), ComposerLogic::slashHeadLength(sessionValue("availableCommands").toStringList()));
    QString head(n, Qt::Uninitialized);
    for (qsizetype i = 0; i < n; ++i)
        head[i] = draftAt(int(i));
    return head;
}

void ComposerModel::onDraftEdited()
{
    // Most drafts answer with their first character; only a draft of blanks is read through.
    const int length = draftLength();
    int i = 0;
    while (i < length && ComposerLogic::isWhiteOrNewline(draftAt(i)))
        ++i;
    m_draftHasText = i < length;
    // Any edit reopens a pop-up closed by Escape.
    m_slashDismissed = false;
    emit draftChanged();
    refreshSlash();
}

void ComposerModel::onContentsChange(int position, int removed, int added)
{
    Q_UNUSED(removed);
    if (m_marking || !m_document)
        return;
    // A deletion can make a hidden character of a neighbour (a selector no longer after its
    // emoji): the place of the edit is looked at as well as what came in.
    m_editedFrom = m_editedFrom < 0 ? position : std::min(m_editedFrom, position);
    m_editedTo = std::max(m_editedTo, position + added);
    if (!m_markingDue) {
        m_markingDue = true;
        // After the edit: the editor is inside its own change now.
        QTimer::singleShot(0, this, &ComposerModel::markHidden);
    }
}

void ComposerModel::markHidden()
{
    m_markingDue = false;
    if (!m_document || m_editedFrom < 0)
        return;
    const int end = m_document->characterCount() - 1;
    // Whether a character is hidden can depend on the one before it and the one after it.
    const int from = std::clamp(m_editedFrom - 2, 0, end);
    const int to = std::clamp(m_editedTo + 2, from, end);
    m_editedFrom = m_editedTo = -1;
    const int before = int(m_marks.size());

    QTextCursor edit(m_document);
    m_marking = true;
    edit.joinPreviousEditBlock();
    // Marks an edit cut into are text now; text typed beside a mark loses the mark's colour.
    QList<std::pair<int, int>> whole;
    for (qsizetype i = 0; i < m_marks.size();) {
        const Mark& m = m_marks[i];
        const QString mark = HiddenCharacters::markFor(m.character);
        const int at = m.start.position();
        QTextCursor there(m_document);
        there.setPosition(at);
        there.setPosition(std::min(end, at + int(mark.size())), QTextCursor::KeepAnchor);
        if (there.selectedText() == mark) {
            if (at + mark.size() > from && at < to)
                whole.append({at, at + int(mark.size())});
            ++i;
            continue;
        }
        m_marks.removeAt(i);
    }
    QList<std::pair<int, int>> coloured;
    for (QTextBlock block = m_document->findBlock(from); block.isValid() && block.position() <= to; block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.charFormat().boolProperty(markProperty))
                continue;
            const int b = fragment.position() + fragment.length();
            int at = fragment.position();
            for (const auto& [m0, m1] : std::as_const(whole)) {
                if (m1 <= at || m0 >= b)
                    continue;
                if (m0 > at)
                    coloured.append({at, m0});
                at = std::max(at, m1);
            }
            if (at < b)
                coloured.append({at, b});
        }
    }
    for (const auto& [a, b] : std::as_const(coloured)) {
        edit.setPosition(a);
        edit.setPosition(b, QTextCursor::KeepAnchor);
        edit.setCharFormat(QTextCharFormat());
    }

    // The document's block breaks read as line feeds, as the draft sends them.
    QTextCursor range(m_document);
    range.setPosition(from);
    range.setPosition(to, QTextCursor::KeepAnchor);
    QString text = range.selectedText();
    for (QChar& c : text)
        if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator)
            c = u'\n';
    const auto found = HiddenCharacters::find(text, HiddenCharacters::Scope::Text);
    for (auto it = found.crbegin(); it != found.crend(); ++it) {
        edit.setPosition(from + int(it->at));
        edit.setPosition(from + int(it->at + it->length), QTextCursor::KeepAnchor);
        edit.insertText(HiddenCharacters::markFor(it->character), markFormat());
        QTextCursor start(m_document);
        start.setPosition(from + int(it->at));
        m_marks.append({start, it->character});
    }
    edit.endEditBlock();
    m_marking = false;
    if (!found.isEmpty()) {
        std::sort(m_marks.begin(), m_marks.end(), [](const Mark& a, const Mark& b) { return a.start.position() < b.start.position(); });
        // The editor's own cursor stays where the edit left it: after the pasted text.
    }
    if (!found.isEmpty() || int(m_marks.size()) != before)
        emit hiddenChanged();
}

QString ComposerModel::hiddenNotice() const
{
    if (m_marks.isEmpty())
        return QString();
    QStringList named;
    for (const Mark& m : m_marks) {
        const QString mark = QStringLiteral("U+") + HiddenCharacters::markFor(m.character).mid(3).chopped(1);
        if (!named.contains(mark))
            named << mark;
    }
    const qsizetype more = named.size() - 4;
    QString which = named.mid(0, 4).join(QStringLiteral(", "));
    if (more > 0)
        which += QStringLiteral(" and %1 more").arg(more);
    const QString count = m_marks.size() == 1 ? QStringLiteral("1 hidden character") : QStringLiteral("%1 hidden characters").arg(m_marks.size());
    return QStringLiteral("The draft held %1 (%2), shown as marks; it is sent as it reads.").arg(count, which);
}

void ComposerModel::removeHidden()
{
    markHidden();
    if (!m_document || m_marks.isEmpty())
        return;
    QTextCursor edit(m_document);
    edit.beginEditBlock();
    for (auto it = m_marks.crbegin(); it != m_marks.crend(); ++it) {
        const int at = it->start.position();
        edit.setPosition(at);
        edit.setPosition(at + int(HiddenCharacters::markFor(it->character).size()), QTextCursor::KeepAnchor);
        edit.removeSelectedText();
    }
    edit.endEditBlock();
    m_marks.clear();
    emit hiddenChanged();
}

void ComposerModel::onSessionState()
{
    const bool can = canSend();
    if (can != m_lastCanSend) {
        m_lastCanSend = can;
        emit canSendChanged();
    }
    emit sessionStateChanged();
}

void ComposerModel::onCommands()
{
    refreshSlash();
}

void ComposerModel::refreshSlash()
{
    const auto query = ComposerLogic::slashQuery(draftHead(), isCodex(), m_slashDismissed);
    m_matches = ComposerLogic::slashMatches(query, sessionValue("availableCommands").toStringList());
    if (m_slashIndex >= m_matches.size())
        m_slashIndex = 0;
    emit slashChanged();
}

QString ComposerModel::slashMoreLine() const
{
    return ComposerLogic::moreLine(int(m_matches.size()));
}

bool ComposerModel::canSend() const
{
    // A session with no agent to read the message keeps the draft (absent on stand-ins: true).
    const QVariant accepting = sessionValue("accepting");
    if (accepting.isValid() && !accepting.toBool())
        return false;
    // Files still being read would miss the message they were chosen for.
    if (m_attachments && m_attachments->reading())
        return false;
    return m_draftHasText || (m_attachments && m_attachments->count() > 0);
}

bool ComposerModel::awaitingChoice() const
{
    // The session shows "nothing pending" as an undefined value.
    const auto pending = [this](const char* p) {
        const QVariant v = sessionValue(p);
        return v.isValid() && !v.isNull();
    };
    return pending("pendingPermission") || pending("pendingQuestion");
}

bool ComposerModel::busy() const
{
    return sessionValue("busy").toBool();
}

bool ComposerModel::isCodex() const
{
    return sessionValue("provider").toString() == QLatin1String("codex");
}

QString ComposerModel::placeholder() const
{
    if (awaitingChoice())
        return QStringLiteral("Respond to the request above to continue…");
    return QStringLiteral("Message %1…  ⇧⏎ newline").arg(isCodex() ? QStringLiteral("Codex") : QStringLiteral("Claude"));
}

bool ComposerModel::handleSpecialKey(int key)
{
    using ComposerLogic::SlashKey;
    SlashKey k;
    switch (key) {
    case Qt::Key_Up: k = SlashKey::Up; break;
    case Qt::Key_Down: k = SlashKey::Down; break;
    case Qt::Key_Return:
    case Qt::Key_Enter: k = SlashKey::Return; break;
    case Qt::Key_Tab: k = SlashKey::Tab; break;
    case Qt::Key_Escape: k = SlashKey::Escape; break;
    default: return false;
    }
    const auto out = ComposerLogic::slashKey(k, draftHead(), m_matches, m_slashIndex);
    if (!out.consumed)
        return false;
    if (out.newDraft) {
        acceptSlash(m_matches.at(qBound(0, m_slashIndex, int(m_matches.size()) - 1)));
        return true;
    }
    m_slashIndex = out.index;
    if (out.dismissed) {
        m_slashDismissed = true;
        refreshSlash();
    } else {
        emit slashChanged();
    }
    return true;
}

void ComposerModel::acceptSlash(const QString& command)
{
    m_slashIndex = 0;
    setDraft(ComposerLogic::acceptedDraft(command));
    emit slashChanged();
}

void ComposerModel::send()
{
    if (!m_session || !canSend() || awaitingChoice())
        return;
    // What came in just before the key that sends is marked first: the message is what the
    // editor shows.
    markHidden();
    const QString text = draft();
    const bool noAttachments = !m_attachments || m_attachments->count() == 0;
    if (!isCodex() && noAttachments && !busy() && ComposerLogic::isCompactCommand(text)) {
        QMetaObject::invokeMethod(m_session, "compact");
        setDraft({});
        return;
    }
    // A draft that with its attachments is past what the agent accepts stays, with them, and says
    // so (the attachments keep to their bound; a draft of hundreds of megabytes would pass it).
    if (m_attachments && !AttachmentBudget::fits(text.size(), m_attachments->budget().chars())) {
        m_attachments->say(AttachmentBudget::tooLongMessage());
        return;
    }
    // The images' bytes stay in C++ values from the list to the session.
    QVariantList attached;
    if (m_attachments)
        for (const ChatAttachment& a : m_attachments->takeAll())
            attached << QVariant::fromValue(a);
    // The draft goes as typed; the session trims it and drops an empty message itself.
    QMetaObject::invokeMethod(m_session, "send", Q_ARG(QString, text), Q_ARG(QVariantList, attached));
    setDraft({});
}

void ComposerModel::stop()
{
    if (m_session)
        QMetaObject::invokeMethod(m_session, "interrupt");
}

} // namespace brinmoor
