#include "ComposerModel.h"

#include "AttachmentImages.h"
#include "ComposerLogic.h"
#include "HiddenCharacters.h"

#include <QQmlEngine>

#include <QKeyEvent>
#include <QMetaMethod>
#include <QMetaProperty>
#include <QQuickTextDocument>
#include <QSet>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTimer>
#include <QVariantList>

namespace brinmoor {

namespace {

// Set on the characters of every mark: one format for all of them, so that marks side by side
// are one stretch of the document (a stretch per mark made the editor lay out and draw a paste of
// tens of thousands of marks piece by piece). A mark's character is read back from its text.
constexpr int markProperty = QTextFormat::UserProperty + 64;

// As an int: the document finds a format among those it holds by a hash that tells ints apart by
// value but other number types only by type.
QTextCharFormat markFormat()
{
    QTextCharFormat f;
    f.setForeground(QColor(0xd9, 0x4f, 0x8c));
    f.setProperty(markProperty, 1);
    return f;
}

// The length of the mark that `text` starts with ("<U+202E>" and the like, as markFor() writes
// it), and its character; 0 when it starts with none.
std::pair<int, char32_t> markAt(QStringView text)
{
    const auto mark = HiddenCharacters::writtenMarkAt(text);
    if (!mark || mark->second > 0x10FFFF || HiddenCharacters::markFor(mark->second) != text.left(mark->first))
        return {0, 0};
    return {int(mark->first), mark->second};
}

// A paragraph that marks are put into, taken out of or brought back to keeps the glyphs it is
// shaped into to be laid out, to draw it with: without, the editor shapes it twice, to lay it out
// and again to draw it, and one with thousands of marks is thousands of pieces to shape. (Kept for
// these only: the glyphs of a long plain paste hold four times its size.) Set before the edit that
// lays the paragraph out: the editor lays it out before the edit is reported.
void keepGlyphs(const QTextBlock& block)
{
    block.layout()->setCacheEnabled(true);
}

// An edit of a block throws its layout away, and doing so walks every line the layout holds: an
// edit of many pieces in a paragraph of thousands of lines (a paste of prose with a hidden
// character in each word) cost lines x pieces. The layouts of the blocks such an edit will touch
// are dropped before it; the edit has them laid out again after it in any case. `at` holds the
// places it will edit.
void dropLayoutsAt(QTextDocument* document, const QList<int>& at)
{
    QTextBlock block;
    for (const int position : at) {
        if (block.isValid() && position >= block.position() && position < block.position() + block.length())
            continue;
        block = document->findBlock(position);
        if (block.isValid()) {
            keepGlyphs(block);
            block.layout()->clearLayout();
        }
    }
}

// The document's text from `from` to `to`, its block breaks as line feeds, as the draft sends them.
QString textBetween(QTextDocument* document, int from, int to)
{
    QTextCursor range(document);
    range.setPosition(from);
    range.setPosition(to, QTextCursor::KeepAnchor);
    QString text = range.selectedText();
    for (QChar& c : text)
        if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator)
            c = u'\n';
    return text;
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
    for (const Mark& m : m_marks)
        if (QStringView(text).mid(m.at).startsWith(HiddenCharacters::markFor(m.character)))
            kept.append({m.at, m.character});
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
    // A draft just put into the editor has no history: colouring its marks is no step to undo.
    const bool fresh = !m_document->isUndoAvailable() && !m_document->isRedoAvailable();
    if (fresh)
        m_document->setUndoRedoEnabled(false);
    m_marking = true;
    QList<Mark> coloured;
    QList<int> colouredAt;
    for (const ComposerDraft::Mark& kept : marks) {
        const QString mark = HiddenCharacters::markFor(kept.character);
        const qsizetype i = firstMarkEndingAfter(kept.at);
        const bool known = i < m_marks.size() && m_marks[i].at <= kept.at;
        if (known || kept.at < 0 || !QStringView(text).mid(kept.at).startsWith(mark))
            continue;
        const Mark m{kept.at, int(mark.size()), kept.character};
        m_marks.insert(i, m);
        coloured.append(m);
        colouredAt.append(m.at);
    }
    // Coloured in one go, once the layouts of the paragraphs they stand in are dropped.
    m_historyHasMarks = m_historyHasMarks || !coloured.isEmpty();
    dropLayoutsAt(m_document, colouredAt);
    edit.beginEditBlock();
    for (const Mark& m : std::as_const(coloured)) {
        edit.setPosition(m.at);
        edit.setPosition(m.at + m.length, QTextCursor::KeepAnchor);
        edit.setCharFormat(markFormat());
    }
    edit.endEditBlock();
    m_marking = false;
    if (fresh)
        m_document->setUndoRedoEnabled(true);
    emit hiddenChanged();
}

void ComposerModel::setAttachments(AttachmentListModel* attachments)
{
    if (m_attachments == attachments)
        return;
    for (const auto& link : std::as_const(m_attachmentLinks))
        disconnect(link);
    m_attachmentLinks.clear();
    if (m_attachments && m_attachments->textPlacerOwner() == this)
        m_attachments->setTextPlacer(nullptr, {});
    m_attachments = attachments;
    if (m_attachments) {
        for (auto signal : {&AttachmentListModel::countChanged, &AttachmentListModel::readingChanged})
            m_attachmentLinks << connect(m_attachments, signal, this, &ComposerModel::onSessionState);
        m_attachments->setTextPlacer(this, [this](QTextCursor& at, const QString& text) { placePasted(at, text); });
    }
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
        // A text set anew starts the editor's history anew.
        m_historyHasMarks = false;
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
    if (m_textEdit)
        m_textEdit->removeEventFilter(this);
    m_marks.clear();
    m_historyStep = m_historyHasMarks = false;
    m_editedFrom = m_editedTo = -1;
    const auto* quickDocument = edit ? edit->property("textDocument").value<QQuickTextDocument*>() : nullptr;
    m_document = quickDocument ? quickDocument->textDocument() : nullptr;
    m_textEdit = m_document ? edit : nullptr;
    if (m_document) {
        m_documentLink = connect(m_document, &QTextDocument::contentsChange, this, &ComposerModel::onDraftEdited);
        m_marksLink = connect(m_document, &QTextDocument::contentsChange, this, &ComposerModel::onContentsChange);
        // Undo and redo come from the editor's keys: they are seen on their way there.
        m_textEdit->installEventFilter(this);
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

bool ComposerModel::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_textEdit && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool undo = key->matches(QKeySequence::Undo);
        if (undo || key->matches(QKeySequence::Redo)) {
            m_historyStep = true;
            if (m_historyHasMarks && m_document && !m_textEdit->property("readOnly").toBool()) {
                stepThroughHistory(undo);
                return true;
            }
        }
    }
    return QObject::eventFilter(watched, event);
}

void ComposerModel::stepThroughHistory(bool undo)
{
    // The history replays a step's edits one by one, and each edit of a laid-out paragraph walks
    // all its lines: the undo of "Remove them" on thousands of marks in a paragraph of thousands
    // of lines cost lines x marks. Long paragraphs' layouts are dropped first; those the step
    // did not touch are laid out again right after it.
    constexpr int longParagraph = 64;  // lines
    bool dropped = false;
    for (QTextBlock block = m_document->begin(); block.isValid(); block = block.next())
        if (block.layout()->lineCount() > longParagraph) {
            keepGlyphs(block);
            block.layout()->clearLayout();
            dropped = true;
        }
    QMetaObject::invokeMethod(m_textEdit, undo ? "undo" : "redo");
    if (!dropped)
        return;
    // Not an edit of the draft: the marks stay as they are.
    m_marking = true;
    for (QTextBlock block = m_document->begin(); block.isValid(); block = block.next())
        if (block.layout()->lineCount() == 0)
            m_document->markContentsDirty(block.position(), block.length());
    m_marking = false;
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

qsizetype ComposerModel::firstMarkEndingAfter(int position) const
{
    return std::partition_point(m_marks.cbegin(), m_marks.cend(), [position](const Mark& m) { return m.at + m.length <= position; })
        - m_marks.cbegin();
}

void ComposerModel::onContentsChange(int position, int removed, int added)
{
    if (!m_document)
        return;
    // Paragraphs a paste with marks made, for the edits to come.
    if (m_marking || m_keepGlyphs)
        for (QTextBlock block = m_document->findBlock(position); block.isValid() && block.position() <= position + added;
             block = block.next())
            keepGlyphs(block);
    if (m_marking)
        return;
    // The marks the edit reached into leave the list (the stretch is looked at again below: an
    // undo may have put them back whole); those after it move with the text.
    const qsizetype first = firstMarkEndingAfter(position);
    qsizetype last = first;
    while (last < m_marks.size() && m_marks[last].at < position + removed)
        ++last;
    if (last > first) {
        m_marks.remove(first, last - first);
        m_marksDropped = true;
    }
    const int moved = added - removed;
    if (moved != 0)
        for (qsizetype i = first; i < m_marks.size(); ++i)
            m_marks[i].at += moved;
    // A deletion can make a hidden character of a neighbour (a selector no longer after its
    // emoji): the place of the edit is looked at as well as what came in.
    if (m_editedFrom < 0) {
        m_editedFrom = position;
        m_editedTo = position + added;
    } else {
        if (m_editedTo >= position + removed)
            m_editedTo += moved;
        m_editedFrom = std::min(m_editedFrom, position);
        m_editedTo = std::max(m_editedTo, position + added);
    }
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
    int from = std::clamp(m_editedFrom - 2, 0, end);
    int to = std::clamp(m_editedTo + 2, from, end);
    m_editedFrom = m_editedTo = -1;
    bool changed = std::exchange(m_marksDropped, false);

    // The stretches in the marks' format there: marks, text typed beside one (which takes the
    // format of the character before it), or what an undo or a redo brought back. The marks and
    // those stretches the edited stretch touches are looked at whole.
    struct Run {
        int start, end;
        QString text;
    };
    QList<Run> runs;
    qsizetype first = 0, last = 0;
    for (int seenFrom = -1, seenTo = -1; from != seenFrom || to != seenTo;) {
        seenFrom = from;
        seenTo = to;
        first = firstMarkEndingAfter(from);
        if (first < m_marks.size() && m_marks[first].at < from)
            from = m_marks[first].at;
        for (last = first; last < m_marks.size() && m_marks[last].at < to; ++last)
            to = std::max(to, m_marks[last].at + m_marks[last].length);
        runs.clear();
        for (QTextBlock block = m_document->findBlock(from); block.isValid() && block.position() <= to; block = block.next()) {
            for (auto it = block.begin(); !it.atEnd(); ++it) {
                const QTextFragment fragment = it.fragment();
                const int at = fragment.position(), after = at + fragment.length();
                if (after <= from)
                    continue;
                if (at >= to)
                    break;
                if (fragment.charFormat().intProperty(markProperty) == 0)
                    continue;
                if (!runs.isEmpty() && runs.last().end == at) {
                    runs.last().end = after;
                    runs.last().text += fragment.text();
                } else {
                    runs.append({at, after, fragment.text()});
                }
            }
        }
        for (const Run& run : std::as_const(runs)) {
            from = std::min(from, run.start);
            to = std::max(to, run.end);
        }
    }

    // Each stretch read from the left: a mark kept until now that still stands whole where it
    // stood stays one. After an edit of the user's, the rest is text typed or pasted beside a
    // mark, or a mark the edit cut into, and loses the format. After an undo or a redo only, the
    // rest is what the history brought back, read as the marks it spells, and nothing is
    // rewritten: a change then would be a step of its own, which the next undo would take back
    // instead of going further (and it would end the redo steps).
    const bool typed = !std::exchange(m_historyStep, false);
    QList<Mark> marks;  // the stretch's marks, as they stand before any is added
    QList<std::pair<int, int>> plain;  // text in the marks' format that is no mark
    qsizetype known = first;
    for (const Run& run : std::as_const(runs)) {
        const QStringView text(run.text);
        int plainFrom = -1;
        for (int at = run.start; at < run.end;) {
            while (known < last && m_marks[known].at < at)
                ++known;
            std::pair<int, char32_t> mark{0, 0};
            if (known < last && m_marks[known].at == at && at + m_marks[known].length <= run.end
                && text.sliced(at - run.start).startsWith(HiddenCharacters::markFor(m_marks[known].character)))
                mark = {m_marks[known].length, m_marks[known].character};
            else if (!typed)
                mark = markAt(text.sliced(at - run.start));
            if (mark.first == 0) {
                if (plainFrom < 0 && typed)
                    plainFrom = at;
                ++at;
                continue;
            }
            if (plainFrom >= 0)
                plain.append({std::exchange(plainFrom, -1), at});
            marks.append({at, mark.first, mark.second});
            at += mark.first;
        }
        if (plainFrom >= 0)
            plain.append({plainFrom, run.end});
    }
    const QString text = textBetween(m_document, from, to);
    const auto found = HiddenCharacters::find(text, HiddenCharacters::Scope::Text);

    int moved = 0;
    if (!plain.isEmpty() || !found.isEmpty()) {
        QTextCursor edit(m_document);
        m_marking = true;
        QList<int> editedAt;
        editedAt.reserve(plain.size() + found.size());
        for (const auto& range : std::as_const(plain))
            editedAt.append(range.first);
        for (const auto& hidden : found)
            editedAt.append(from + int(hidden.at));
        m_historyHasMarks = m_historyHasMarks || !found.isEmpty();
        dropLayoutsAt(m_document, editedAt);
        edit.joinPreviousEditBlock();
        for (const auto& [a, b] : std::as_const(plain)) {
            edit.setPosition(a);
            edit.setPosition(b, QTextCursor::KeepAnchor);
            edit.setCharFormat(QTextCharFormat());
        }
        // One pass from the left, the marks found by their format moved along by what came in
        // before them. Hidden characters side by side are replaced together, by their marks in
        // one piece of text: an edit of the document per run of them, not per mark.
        QList<Mark> merged;
        merged.reserve(marks.size() + found.size());
        qsizetype next = 0;
        const QTextCharFormat format = markFormat();
        for (qsizetype i = 0; i < found.size();) {
            const int at = from + int(found[i].at);
            for (; next < marks.size() && marks[next].at < at; ++next)
                merged.append({marks[next].at + moved, marks[next].length, marks[next].character});
            int length = 0;
            QString shown;
            for (qsizetype j = i; i < found.size() && found[i].at == found[j].at + length; ++i) {
                const QString mark = HiddenCharacters::markFor(found[i].character);
                merged.append({at + moved + int(shown.size()), int(mark.size()), found[i].character});
                shown += mark;
                length += int(found[i].length);
            }
            edit.setPosition(at + moved);
            edit.setPosition(at + moved + length, QTextCursor::KeepAnchor);
            edit.insertText(shown, format);
            moved += int(shown.size()) - length;
        }
        for (; next < marks.size(); ++next)
            merged.append({marks[next].at + moved, marks[next].length, marks[next].character});
        marks = std::move(merged);
        edit.endEditBlock();
        m_marking = false;
        // The editor's own cursor stays where the edit left it: after the pasted text.
        changed = true;
    }
    if (marks.size() != last - first)
        changed = true;
    // Nothing dropped, found or cleared: the stretch's marks are those it had (a key typed).
    if (!changed)
        return;
    // The list: the marks before the stretch, the stretch's, and those after it moved along.
    QList<Mark> list;
    list.reserve(m_marks.size() - (last - first) + marks.size());
    list.append(m_marks.first(first));
    list.append(marks);
    for (qsizetype i = last; i < m_marks.size(); ++i) {
        Mark m = m_marks[i];
        m.at += moved;
        list.append(m);
    }
    m_marks = std::move(list);
    emit hiddenChanged();
}

QString ComposerModel::hiddenNotice() const
{
    if (m_marks.isEmpty())
        return QString();
    QList<char32_t> kinds;
    QSet<char32_t> seen;
    for (const Mark& m : m_marks)
        if (!seen.contains(m.character)) {
            seen.insert(m.character);
            kinds.append(m.character);
        }
    QStringList named;
    for (qsizetype i = 0; i < std::min<qsizetype>(kinds.size(), 4); ++i)
        named << QStringLiteral("U+") + HiddenCharacters::markFor(kinds[i]).mid(3).chopped(1);
    const qsizetype more = kinds.size() - 4;
    QString which = named.join(QStringLiteral(", "));
    if (more > 0)
        which += QStringLiteral(" and %1 more").arg(more);
    const QString count = m_marks.size() == 1 ? QStringLiteral("1 hidden character") : QStringLiteral("%1 hidden characters").arg(m_marks.size());
    return QStringLiteral("The draft held %1 (%2), shown as marks; it is sent as it reads.").arg(count, which);
}

void ComposerModel::placePasted(QTextCursor& at, const QString& text)
{
    if (!m_document || at.document() != m_document) {
        at.insertFragment(QTextDocumentFragment::fromPlainText(text));
        return;
    }
    // What was typed before is marked first, by the rules for typed text.
    markHidden();
    // The hidden characters as marking finds them in place: with the characters on either side.
    const int start = at.selectionStart(), end = at.selectionEnd();
    const int before = std::min(start, 2);
    const QString around = textBetween(m_document, start - before, start) + text
                         + textBetween(m_document, end, std::min(end + 2, m_document->characterCount() - 1));
    QList<HiddenCharacters::Found> found;
    for (const HiddenCharacters::Found& hidden : HiddenCharacters::find(around, HiddenCharacters::Scope::Text))
        if (hidden.at >= before && hidden.at + hidden.length <= before + text.size())
            found.append({hidden.at - before, hidden.length, hidden.character});
    if (found.isEmpty()) {
        at.insertFragment(QTextDocumentFragment::fromPlainText(text));
        return;
    }
    m_keepGlyphs = m_historyHasMarks = true;
    at.beginEditBlock();
    at.removeSelectedText();
    dropLayoutsAt(m_document, {at.position()});
    // Plain text in the plain format, whatever the character before it has; hidden characters
    // side by side as one piece of marks.
    const QTextCharFormat plain, format = markFormat();
    qsizetype done = 0;
    for (qsizetype i = 0; i < found.size();) {
        if (found[i].at > done)
            at.insertText(text.sliced(done, found[i].at - done), plain);
        QString marks;
        for (done = found[i].at; i < found.size() && found[i].at == done; ++i) {
            marks += HiddenCharacters::markFor(found[i].character);
            done += found[i].length;
        }
        at.insertText(marks, format);
    }
    if (done < text.size())
        at.insertText(text.sliced(done), plain);
    at.endEditBlock();
    m_keepGlyphs = false;
    // Counted as marks now, read from their text like those an undo brings back.
    m_historyStep = true;
    markHidden();
}

void ComposerModel::removeHidden()
{
    markHidden();
    if (!m_document || m_marks.isEmpty())
        return;
    QTextCursor edit(m_document);
    m_marking = true;
    QList<int> editedAt;
    editedAt.reserve(m_marks.size());
    for (const Mark& mark : std::as_const(m_marks))
        editedAt.append(mark.at);
    m_historyHasMarks = true;
    dropLayoutsAt(m_document, editedAt);
    edit.beginEditBlock();
    // From the right: each removal leaves the offsets of those still to go as they are. Marks
    // side by side go in one removal.
    for (qsizetype i = m_marks.size(); i > 0;) {
        const int to = m_marks[i - 1].at + m_marks[i - 1].length;
        for (--i; i > 0 && m_marks[i - 1].at + m_marks[i - 1].length == m_marks[i].at;)
            --i;
        edit.setPosition(m_marks[i].at);
        edit.setPosition(to, QTextCursor::KeepAnchor);
        edit.removeSelectedText();
    }
    edit.endEditBlock();
    m_marking = false;
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
