#include "ComposerModel.h"

#include "AttachmentImages.h"
#include "ComposerLogic.h"
#include "HiddenCharacters.h"

#include <QQmlEngine>

#include <QAbstractTextDocumentLayout>
#include <QClipboard>
#include <QGuiApplication>
#include <QGlyphRun>
#include <QKeyEvent>
#include <QMimeData>
#include <QMetaMethod>
#include <QMetaProperty>
#include <QQuickTextDocument>
#include <QSet>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextBoundaryFinder>
#include <QTimer>
#include <QVariantList>

namespace brinmoor {

namespace {

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
        if (block.isValid())
            block.layout()->clearLayout();
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

// Whether the stretch of `length` from `from` starts at a paragraph's start and ends at one's end
// (or at the next one's start), as Qt reports an edit that set a paragraph's format.
bool wholeParagraphs(QTextDocument* document, int from, int length)
{
    const QTextBlock first = document->findBlock(from);
    if (!first.isValid() || first.position() != from)
        return false;
    const int end = from + length;
    const QTextBlock last = document->findBlock(end);
    if (!last.isValid())
        return end >= document->characterCount() - 1;
    return last.position() == end || last.position() + last.length() - 1 == end;
}

// A mark in a paragraph with right-to-left letters stands between two left-to-right marks: strong
// left-to-right characters of no width, so the mark's "<" and ">" belong to its own left-to-right
// run and it reads as one piece, in order, beside digits as well. Isolates (U+2066 ... U+2069)
// did the same but made each mark a bidi run of its own, and laying out a right-to-left paragraph
// of thousands of marks took half as long again as the same text typed.
constexpr char16_t fenceBefore = u'\u200E';  // LEFT-TO-RIGHT MARK
constexpr char16_t fenceAfter = u'\u200E';
// The isolates around a mark in drafts kept by earlier builds.
constexpr char16_t oldFenceBefore = u'\u2066';  // LEFT-TO-RIGHT ISOLATE
constexpr char16_t oldFenceAfter = u'\u2069';   // POP DIRECTIONAL ISOLATE


} // namespace

bool ComposerModel::holdsRightToLeftLetters(QStringView text)
{
    for (const QChar c : text)
        if (c.isLetter() && (c.direction() == QChar::DirR || c.direction() == QChar::DirAL))
            return true;
    return false;
}

QString ComposerModel::markText(char32_t character, bool fenced)
{
    const QString mark = HiddenCharacters::markFor(character);
    return fenced ? fenceBefore + mark + fenceAfter : mark;
}

bool ComposerModel::Mark::fenced() const
{
    return length > HiddenCharacters::markFor(character).size();
}

bool ComposerModel::readsAsMark(QStringView text, qsizetype at, const Mark& m)
{
    return at >= 0 && at + m.length <= text.size() && text.sliced(at, m.length) == markText(m.character, m.fenced());
}

QString ComposerModel::withoutFences(int from, int to) const
{
    QString text = textBetween(m_document, from, to);
    QString kept;
    qsizetype done = 0;
    bool dropped = false;
    for (qsizetype i = firstMarkEndingAfter(from); i < m_marks.size() && m_marks[i].at < to; ++i) {
        const Mark& m = m_marks[i];
        if (!m.fenced())
            continue;
        for (const int at : {m.at, m.at + m.length - 1})
            if (at >= from + done && at < to) {
                kept += QStringView(text).sliced(done, at - from - done);
                done = at - from + 1;
                dropped = true;
            }
    }
    if (!dropped)
        return text;
    kept += QStringView(text).sliced(done);
    return kept;
}

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
    sendWaitingSoon();
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
    if (m_attachments)
        m_attachments->draftLeft(m_document);
}

QList<ComposerDraft::Mark> ComposerModel::marksToKeep() const
{
    QList<ComposerDraft::Mark> kept;
    if (!m_document)
        return kept;
    const QString text = m_document->toPlainText();
    for (const Mark& m : m_marks)
        if (readsAsMark(text, m.at, m))
            kept.append({m.at, m.character});
    return kept;
}

void ComposerModel::loadFromStore()
{
    const ComposerDraft* from = store();
    if (m_document) {
        // Drafts kept by earlier builds fence a mark with isolates: the same places hold the
        // fences of now (one unit each, so no mark moves).
        QString text = from->text();
        for (const ComposerDraft::Mark& kept : from->marks()) {
            const QString old = oldFenceBefore + HiddenCharacters::markFor(kept.character) + oldFenceAfter;
            if (kept.at >= 0 && kept.at + old.size() <= text.size() && QStringView(text).sliced(kept.at, old.size()) == old) {
                text[kept.at] = fenceBefore;
                text[kept.at + old.size() - 1] = fenceAfter;
            }
        }
        if (m_document->toPlainText() != text)
            m_textEdit->setProperty("text", text);
        restoreMarks(from->marks());
        if (m_attachments && m_document->toPlainText() == from->text())
            m_attachments->draftArrived(m_document);
        // The store holds its cursor within its text (an editor still being made may not show
        // the text yet).
        const int cursor = from->cursorPosition();
        m_textEdit->setProperty("cursorPosition", cursor);
        // An editor still being made puts its cursor at the start as it completes, and may take
        // the text only then: once more after that, unless the draft changed meanwhile.
        QMetaObject::invokeMethod(
            this, [this, edit = QPointer<QQuickItem>(m_textEdit), cursor, text, marks = from->marks()] {
                if (edit && edit == m_textEdit && m_document && m_document->toPlainText() == text) {
                    restoreMarks(marks);
                    edit->setProperty("cursorPosition", cursor);
                    if (m_attachments)
                        m_attachments->draftArrived(m_document);
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
    bool restored = false;
    for (const ComposerDraft::Mark& kept : marks) {
        // Between its fences, or bare as drafts kept by earlier builds hold every mark.
        Mark mark{kept.at, int(markText(kept.character, true).size()), kept.character};
        if (!readsAsMark(text, mark.at, mark))
            mark.length = int(markText(kept.character, false).size());
        const qsizetype i = firstMarkEndingAfter(kept.at);
        const bool known = i < m_marks.size() && m_marks[i].at < kept.at + mark.length;
        if (known || !readsAsMark(text, mark.at, mark))
            continue;
        m_marks.insert(i, mark);
        restored = true;
    }
    if (!restored)
        return;
    m_historyHasMarks = true;
    emit hiddenChanged();
    announceMarks();
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
        m_attachmentLinks << connect(m_attachments, &AttachmentListModel::sendDue, this, [this] {
            // A session already stopped (its composer not torn down yet) would drop the message:
            // it waits for the composer of the next start instead.
            if (!takesMessages())
                m_attachments->keepSendWaiting();
            else
                send();
        });
        m_attachments->setTextPlacer(this, [this](QTextCursor& at, const QString& text) { placePasted(at, text); });
    }
    emit attachmentsChanged();
    onSessionState();
    sendWaitingSoon();
}

void ComposerModel::sendWaitingSoon()
{
    // Once the composer being built has its session and its editor too.
    QMetaObject::invokeMethod(this, [this] {
        if (m_attachments && takesMessages() && m_attachments->sendPending() && !m_attachments->reading()
            && m_attachments->takeWaitingSend())
            send();
    }, Qt::QueuedConnection);
}

QString ComposerModel::draft() const
{
    // The marks' fences are part of their marks, never of the draft's text.
    if (m_document)
        return withoutFences(0, m_document->characterCount() - 1);
    // Kept while no editor shows it (a message sent once a paste is in, the pane gone meanwhile):
    // the stored text holds its marks' fences, or isolates as earlier builds kept them.
    const ComposerDraft* kept = store();
    QString text = kept->text();
    for (auto m = kept->marks().crbegin(); m != kept->marks().crend(); ++m) {
        const QString written = HiddenCharacters::markFor(m->character);
        const qsizetype end = m->at + written.size() + 1;
        if (m->at < 0 || end >= text.size() || QStringView(text).sliced(m->at + 1, written.size()) != written)
            continue;
        const QChar before = text.at(m->at), after = text.at(end);
        if ((before == QChar(fenceBefore) && after == QChar(fenceAfter)) || (before == QChar(oldFenceBefore) && after == QChar(oldFenceAfter))) {
            text.remove(end, 1);
            text.remove(m->at, 1);
        }
    }
    return text;
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
    for (const auto& link : std::as_const(m_selectionLinks))
        disconnect(link);
    m_selectionLinks.clear();
    if (m_textEdit)
        m_textEdit->removeEventFilter(this);
    m_marks.clear();
    m_strays.clear();
    m_history.clear();
    m_lostFrom.clear();
    m_historyHasMarks = false;
    m_editedFrom = m_editedTo = -1;
    const auto* quickDocument = edit ? edit->property("textDocument").value<QQuickTextDocument*>() : nullptr;
    m_document = quickDocument ? quickDocument->textDocument() : nullptr;
    m_textEdit = m_document ? edit : nullptr;
    m_historyState = m_document ? m_document->availableUndoSteps() : 0;
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
            if (m_attachments && m_document)
                m_attachments->draftLeft(m_document);
            m_document = nullptr;
            m_marks.clear();
            m_strays.clear();
            disconnect(m_documentLink);
            disconnect(m_marksLink);
        });
        m_cursorLink = connect(m_textEdit, SIGNAL(cursorPositionChanged()), this, SLOT(onCursorMoved()));
        for (const char* signal : {SIGNAL(selectionStartChanged()), SIGNAL(selectionEndChanged())})
            m_selectionLinks << connect(m_textEdit, signal, this, SLOT(onSelectionMoved()));
        onCursorMoved();
    }
    emit textEditChanged();
    emit hiddenChanged();
    loadFromStore();
}

bool ComposerModel::eventFilter(QObject* watched, QEvent* event)
{
    // Qt writes the X primary selection at a mouse button's release and after a key that selects,
    // whether or not the selection changed then.
    if (watched == m_textEdit
        && (event->type() == QEvent::MouseButtonRelease || event->type() == QEvent::MouseButtonDblClick
            || event->type() == QEvent::KeyPress))
        onSelectionMoved();
    if (watched == m_textEdit && (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease))
        m_keyDown = event->type() == QEvent::KeyPress;
    if (watched == m_textEdit && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool undo = key->matches(QKeySequence::Undo);
        if ((undo || key->matches(QKeySequence::Redo)) && m_historyHasMarks && m_document
            && !m_textEdit->property("readOnly").toBool()) {
            stepThroughHistory(undo);
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

void ComposerModel::stepThroughHistory(bool undo)
{
    // What came in just before is marked first: its marking is part of its step.
    if (m_markingDue)
        markHidden();
    // The marks here, for the step back to this state.
    const int from = m_document->availableUndoSteps();
    m_history[from] = m_marks;
    keepHistoryBounded();
    // The history replays a step's edits one by one, and each edit of a laid-out paragraph walks
    // all its lines: the undo of "Remove them" on thousands of marks in a paragraph of thousands
    // of lines cost lines x marks. Long paragraphs' layouts are dropped first; those the step
    // did not touch are laid out again right after it.
    constexpr int longParagraph = 64;  // lines
    bool dropped = false;
    for (QTextBlock block = m_document->begin(); block.isValid(); block = block.next())
        if (block.layout()->lineCount() > longParagraph) {
            block.layout()->clearLayout();
            dropped = true;
        }
    m_stepping = true;
    QMetaObject::invokeMethod(m_textEdit, undo ? "undo" : "redo");
    m_stepping = false;
    m_strays.clear();  // a step's text is whole as it was
    m_marksDropped = false;  // told below
    const int to = m_document->availableUndoSteps();
    m_historyState = to;
    // The marks of the state come to, where they still read as their marks; without any kept,
    // those the text kept are all it has.
    if (const auto kept = m_history.find(to); kept != m_history.end() && from != to) {
        const QString text = m_document->toPlainText();
        QList<Mark> marks;
        marks.reserve(kept->second.size());
        for (const Mark& m : kept->second)
            if (readsAsMark(text, m.at, m))
                marks.append(m);
        m_marks = std::move(marks);
    }
    emit hiddenChanged();
    announceMarks();
    if (!dropped)
        return;
    // Not an edit of the draft: the marks stay as they are.
    m_marking = true;
    for (QTextBlock block = m_document->begin(); block.isValid(); block = block.next())
        if (block.layout()->lineCount() == 0)
            m_document->markContentsDirty(block.position(), block.length());
    m_marking = false;
}

void ComposerModel::noteHistory(const QList<Mark>& before, bool lost)
{
    const int was = m_historyState, now = m_document->availableUndoSteps();
    m_historyState = now;
    if (now < was) {
        // The history was cleared (a text set anew), or undone by the editor itself (a draft
        // whose history never held a mark): nothing kept applies.
        m_history.clear();
        m_lostFrom.clear();
        return;
    }
    const auto dropFrom = [this](int state) {
        m_history.erase(m_history.lower_bound(state), m_history.end());
        m_lostFrom.erase(m_lostFrom.lower_bound(state), m_lostFrom.end());
    };
    if (now > was) {
        // A step on the state `was`: what lay beyond it is gone, and of the states before it only
        // those that steps taking marks out start from are still wanted.
        dropFrom(was);
        for (auto it = m_history.begin(); it != m_history.end();)
            it = m_lostFrom.contains(it->first) ? std::next(it) : m_history.erase(it);
        if (!before.isEmpty())
            m_history[was] = before;
        if (lost)
            m_lostFrom.insert(was);
        keepHistoryBounded();
        return;
    }
    // The edit joined the last step (keys that delete run on as one step) or made none: the
    // state here is no longer the one kept, nor any beyond it.
    dropFrom(now);
    if (lost && now > 0)
        m_lostFrom.insert(now - 1);
}

void ComposerModel::keepHistoryBounded()
{
    // Each state kept holds the whole list: past a bound (a draft of thousands of marks cut into
    // a thousand times), the oldest go. An undo or redo to one of them finds its text as it was,
    // and the marks it brings back read as typed text.
    constexpr qsizetype mostMarksKept = 1'000'000;
    qsizetype kept = 0;
    for (const auto& state : m_history)
        kept += state.second.size();
    while (kept > mostMarksKept && m_history.size() > 1) {
        kept -= m_history.begin()->second.size();
        m_lostFrom.erase(m_history.begin()->first);
        m_history.erase(m_history.begin());
    }
}

void ComposerModel::announceMarks()
{
    if (m_marksAnnounceDue)
        return;
    m_marksAnnounceDue = true;
    QTimer::singleShot(0, this, [this] {
        m_marksAnnounceDue = false;
        emit marksMoved();
    });
}

void ComposerModel::onCursorMoved()
{
    if (!m_textEdit)
        return;
    const int was = std::exchange(m_cursorSeen, m_textEdit->property("cursorPosition").toInt());
    stepOverFence(was, m_cursorSeen);
}

void ComposerModel::stepOverFence(int was, int now)
{
    // Our own edits and the history's steps put the caret where it belongs themselves, and the
    // list of marks may not have caught up with the text yet while they run.
    if (!m_document || m_marking || m_stepping || m_marks.isEmpty())
        return;
    const qsizetype i = firstMarkEndingAfter(now);
    if (i >= m_marks.size())
        return;
    const Mark& m = m_marks[i];
    const int end = m.at + m.length;
    if (!m.fenced() || (now != m.at + 1 && now != end - 1))
        return;
    // The fences must still stand there: a report of the caret ahead of the edit's would
    // otherwise move it by a list that is about to change.
    if (m_document->characterAt(m.at) != QChar(fenceBefore) || m_document->characterAt(end - 1) != QChar(fenceAfter))
        return;
    // A key moves on past the fence in the way it went (from the outer side of that end,
    // or from inside the mark); anything else (a click, a place set) lands on the outer side, the
    // same place on screen.
    int to;
    if (!m_keyDown)
        to = now == m.at + 1 ? m.at : end;
    else if (now == m.at + 1)
        to = was == m.at ? m.at + 2 : m.at;
    else
        to = was == end ? end - 2 : end;
    const bool selected = m_textEdit->property("selectionStart") != m_textEdit->property("selectionEnd");
    if (selected)
        QMetaObject::invokeMethod(m_textEdit, "moveCursorSelection", Q_ARG(int, to));
    else
        m_textEdit->setProperty("cursorPosition", to);
}

void ComposerModel::onSelectionMoved()
{
    if (m_primaryDue || !QGuiApplication::clipboard()->supportsSelection())
        return;
    m_primaryDue = true;
    // After the editor is done with the event: it writes the selection last.
    QMetaObject::invokeMethod(this, &ComposerModel::keepPrimaryTrue, Qt::QueuedConnection);
}

void ComposerModel::keepPrimaryTrue()
{
    m_primaryDue = false;
    if (!m_document || !m_textEdit)
        return;
    const int from = m_textEdit->property("selectionStart").toInt(), to = m_textEdit->property("selectionEnd").toInt();
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (from >= to || !clipboard->ownsSelection())
        return;
    bool fences = false;
    for (qsizetype i = firstMarkEndingAfter(from); i < m_marks.size() && m_marks[i].at < to && !fences; ++i)
        fences = m_marks[i].fenced();
    if (!fences)
        return;
    // Only what the editor wrote (our own text is the app's, read without asking anyone).
    const QMimeData* held = clipboard->mimeData(QClipboard::Selection);
    if (!held || !held->hasText())
        return;
    const QString text = held->text();
    if (!text.contains(QChar(fenceBefore)) && !text.contains(QChar(fenceAfter)))
        return;
    clipboard->setText(withoutFences(from, to), QClipboard::Selection);
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

qsizetype ComposerModel::longestUnbrokenAround(int from, int to, const QString& text) const
{
    // The paste joins the text before it in its first paragraph and after it in its last.
    const QTextBlock firstBlock = m_document->findBlock(from), lastBlock = m_document->findBlock(to);
    const int begin = firstBlock.isValid() ? firstBlock.position() : from;
    const int end = lastBlock.isValid() ? lastBlock.position() + lastBlock.length() - 1 : to;
    const QString head = textBetween(m_document, begin, from);
    const QString joined = head + text + textBetween(m_document, to, std::max(to, end));
    QTextBoundaryFinder breaks(QTextBoundaryFinder::Line, joined.constData(), joined.size());
    // Only the stretches the paste is part of: a long one elsewhere in the paragraph was there.
    qsizetype longest = 0, last = 0;
    for (qsizetype at = breaks.toNextBoundary(); at >= 0; at = breaks.toNextBoundary()) {
        if (at > head.size() && last < head.size() + text.size())
            longest = std::max(longest, at - last);
        last = at;
    }
    return longest;
}

qsizetype ComposerModel::mostMarksInAParagraph(int from, int to, const QString& text, const QList<HiddenCharacters::Found>& found) const
{
    // The paste's first line joins what stands before it in its paragraph, its last line what
    // stands after it. (No mark reaches over a paragraph's end.)
    const QTextBlock first = m_document->findBlock(from), last = m_document->findBlock(to);
    qsizetype count = first.isValid() ? firstMarkEndingAfter(from) - firstMarkEndingAfter(first.position()) : 0;
    const qsizetype after = last.isValid() ? firstMarkEndingAfter(last.position() + last.length()) - firstMarkEndingAfter(to) : 0;
    qsizetype most = 0, next = 0;
    for (qsizetype at = text.indexOf(u'\n');; at = text.indexOf(u'\n', at + 1)) {
        const qsizetype lineEnd = at < 0 ? text.size() : at;
        for (; next < found.size() && found[next].at < lineEnd; ++next)
            ++count;
        if (at < 0)
            break;
        most = std::max(most, count);
        count = 0;
    }
    return std::max(most, count + after);
}

qsizetype ComposerModel::firstMarkEndingAfter(int position) const
{
    return std::partition_point(m_marks.cbegin(), m_marks.cend(), [position](const Mark& m) { return m.at + m.length <= position; })
        - m_marks.cbegin();
}

void ComposerModel::onContentsChange(int position, int removed, int added)
{
    // Our own edits keep the list themselves.
    if (!m_document || m_marking)
        return;
    // The marks the edit reached into leave the list; those after it move with the text. (An
    // undo's or a redo's marks are then set from the history's.)
    const QList<Mark> before = m_marks;
    const qsizetype first = firstMarkEndingAfter(position);
    qsizetype last = first;
    while (last < m_marks.size() && m_marks[last].at < position + removed)
        ++last;
    const int moved = added - removed;
    // The marks the report covers that the edit did not reach: none, unless Qt widened it.
    qsizetype keptBefore = first, keptAfter = last;
    const bool widened = last > first && removed > 0 && added > 0 && wholeParagraphs(m_document, position, added);
    if (widened) {
        // Qt reports an edit that also sets a paragraph's format (a piece of text put in at a
        // paragraph's start, as a drop or another program's paste does) as a change of the whole
        // paragraph. The edit itself lies somewhere inside: the marks before it still read as
        // themselves where they stood, those after it where the edit moved them. A mark read in
        // neither place was cut into.
        const QString now = textBetween(m_document, position, position + added);
        const auto readsAt = [&](const Mark& m, int at) {
            return at >= position && readsAsMark(now, at - position, m);
        };
        while (keptBefore < last && readsAt(m_marks[keptBefore], m_marks[keptBefore].at))
            ++keptBefore;
        const int freeFrom = keptBefore > first ? m_marks[keptBefore - 1].at + m_marks[keptBefore - 1].length : position;
        while (keptAfter > keptBefore && m_marks[keptAfter - 1].at + moved >= freeFrom
               && readsAt(m_marks[keptAfter - 1], m_marks[keptAfter - 1].at + moved))
            --keptAfter;
    }
    for (auto it = m_strays.begin(); it != m_strays.end();) {
        if (it->first >= position + removed)
            (it++)->first += moved;
        else if (it->first >= position)
            it = m_strays.erase(it);
        else
            ++it;
    }
    // What the edit left of a fenced mark it cut into: its fences, gone with it.
    if (!m_stepping)
        for (qsizetype i = keptBefore; i < keptAfter; ++i)
            noteStrays(m_marks[i], position, removed, moved, widened);
    if (keptAfter > keptBefore) {
        m_marks.remove(keptBefore, keptAfter - keptBefore);
        m_marksDropped = true;
    }
    const bool lost = keptAfter > keptBefore;
    if (moved != 0)
        for (qsizetype i = keptBefore; i < m_marks.size(); ++i)
            m_marks[i].at += moved;
    if (!before.isEmpty())
        announceMarks();
    if (m_stepping)
        return;
    noteHistory(before, lost);
    noteEdited(position, removed, added);
}

void ComposerModel::noteEdited(int position, int removed, int added)
{
    // A deletion can make a hidden character of a neighbour (a selector no longer after its
    // emoji): the place of the edit is looked at as well as what came in.
    const int moved = added - removed;
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

void ComposerModel::noteStrays(const Mark& m, int position, int removed, int moved, bool widened)
{
    if (!m.fenced())
        return;
    for (const auto& [at, c] : {std::pair{m.at, fenceBefore}, std::pair{m.at + m.length - 1, fenceAfter}}) {
        if (at < position) {
            m_strays.append({at, c});
        } else if (at >= position + removed) {
            m_strays.append({at + moved, c});
        } else if (widened) {
            // Somewhere in a paragraph Qt reports as changed whole: where it stood or moved along.
            m_strays.append({at, c});
            m_strays.append({at + moved, c});
        }
    }
    // A Backspace right after the mark, or a Delete right before it, takes a fence that
    // is not seen: the character beside it goes with it, so the key cuts into the mark as it does
    // into a bare one, instead of leaving the mark's whole text standing as typed text.
    if (removed == 1 && moved == -1) {
        if (position == m.at + m.length - 1)
            m_strays.append({m.at + m.length - 2, u'>'});
        else if (position == m.at)
            m_strays.append({m.at + 1 + moved, u'<'});
    }
    if (!m_markingDue) {
        m_markingDue = true;
        QTimer::singleShot(0, this, &ComposerModel::markHidden);
    }
}

void ComposerModel::markHidden()
{
    m_markingDue = false;
    if (!m_document || (m_editedFrom < 0 && m_strays.isEmpty()))
        return;
    const int end = m_document->characterCount() - 1;
    // Whether a character is hidden can depend on the one before it and the one after it.
    const bool edited = m_editedFrom >= 0;
    const int from = edited ? std::clamp(m_editedFrom - 2, 0, end) : 0;
    const int to = edited ? std::clamp(m_editedTo + 2, from, end) : 0;
    m_editedFrom = m_editedTo = -1;
    bool changed = std::exchange(m_marksDropped, false);
    const auto insideMark = [this](int at) {
        const qsizetype i = firstMarkEndingAfter(at);
        return i < m_marks.size() && m_marks[i].at <= at;
    };
    // Our edits, from the left: the fences left of marks cut into go; each run of hidden
    // characters side by side becomes its marks in one piece of text (an edit of the document per
    // run, not per mark); the bare marks of a paragraph that now holds right-to-left letters go
    // between fences. `replaces` is the mark an edit puts anew.
    struct Edit {
        int at;
        int removed;
        QString text;
        QList<Mark> marks;  // at their offsets in `text`
        qsizetype replaces = -1;
    };
    QList<Edit> edits;
    std::sort(m_strays.begin(), m_strays.end());
    QSet<int> strays;
    for (const auto& [at, c] : std::as_const(m_strays))
        if (at >= 0 && at < end && !strays.contains(at) && m_document->characterAt(at) == QChar(c) && !insideMark(at)) {
            strays.insert(at);
            edits.append({at, 1, QString(), {}});
        }
    m_strays.clear();
    if (edited) {
        // A paragraph holding right-to-left letters shows its marks between left-to-right fences, so
        // that each reads as one piece; elsewhere they stay bare (in a left-to-right paragraph an
        // isolate made each mark a run of its own to lay out: thousands of them took seconds).
        QTextBlock block;
        bool rightToLeft = false;
        const auto fencedAt = [&](int at) {
            if (!block.isValid() || at < block.position() || at >= block.position() + block.length()) {
                block = m_document->findBlock(at);
                rightToLeft = block.isValid() && holdsRightToLeftLetters(block.text());
            }
            return rightToLeft;
        };
        const auto found = HiddenCharacters::find(textBetween(m_document, from, to), HiddenCharacters::Scope::Text);
        for (qsizetype i = 0; i < found.size();) {
            const int at = from + int(found[i].at);
            if (insideMark(at) || strays.contains(at)) {
                ++i;
                continue;
            }
            const bool fenced = fencedAt(at);
            Edit run{at, 0, QString(), {}};
            for (qsizetype j = i; i < found.size() && found[i].at == found[j].at + run.removed && !insideMark(from + int(found[i].at))
                                  && !strays.contains(from + int(found[i].at));
                 ++i) {
                const QString mark = markText(found[i].character, fenced);
                run.marks.append({int(run.text.size()), int(mark.size()), found[i].character});
                run.text += mark;
                run.removed += int(found[i].length);
            }
            edits.append(run);
        }
        const QTextBlock last = m_document->findBlock(to);
        for (QTextBlock b = m_document->findBlock(from); b.isValid(); b = b.next()) {
            if (holdsRightToLeftLetters(b.text()))
                for (qsizetype i = firstMarkEndingAfter(b.position()); i < m_marks.size() && m_marks[i].at < b.position() + b.length(); ++i)
                    if (const Mark& m = m_marks[i]; !m.fenced()) {
                        const QString mark = markText(m.character, true);
                        edits.append({m.at, m.length, mark, {{0, int(mark.size()), m.character}}, i});
                    }
            if (b == last)
                break;
        }
    }
    if (!edits.isEmpty()) {
        std::sort(edits.begin(), edits.end(), [](const Edit& a, const Edit& b) { return a.at < b.at; });
        // The editor's cursor stays where it stood in the text: before a mark put between fences,
        // after the marks of hidden characters it stood after.
        const int cursor = m_textEdit ? m_textEdit->property("cursorPosition").toInt() : -1;
        const bool selected = m_textEdit && m_textEdit->property("selectionStart") != m_textEdit->property("selectionEnd");
        int cursorNow = cursor;
        const QList<Mark> before = m_marks;
        QList<int> editedAt;
        editedAt.reserve(edits.size());
        for (const Edit& e : std::as_const(edits))
            editedAt.append(e.at);
        QList<Mark> list;
        list.reserve(m_marks.size() + edits.size());
        qsizetype next = 0;
        int moved = 0;
        QTextCursor edit(m_document);
        m_marking = true;
        m_historyHasMarks = true;
        dropLayoutsAt(m_document, editedAt);
        edit.joinPreviousEditBlock();
        for (const Edit& e : std::as_const(edits)) {
            for (; next < m_marks.size() && m_marks[next].at < e.at; ++next)
                list.append({m_marks[next].at + moved, m_marks[next].length, m_marks[next].character});
            if (e.replaces >= 0)
                next = e.replaces + 1;
            for (Mark m : e.marks) {
                m.at += e.at + moved;
                list.append(m);
            }
            const int grown = int(e.text.size()) - e.removed;
            if (e.at + e.removed <= cursor || (e.at < cursor && cursor < e.at + e.removed) || (e.at == cursor && e.replaces < 0 && !e.text.isEmpty()))
                cursorNow += e.at + e.removed <= cursor ? grown : e.at + int(e.text.size()) - cursor;
            edit.setPosition(e.at + moved);
            edit.setPosition(e.at + moved + e.removed, QTextCursor::KeepAnchor);
            if (e.text.isEmpty())
                edit.removeSelectedText();
            else
                edit.insertText(e.text);
            moved += grown;
        }
        for (; next < m_marks.size(); ++next)
            list.append({m_marks[next].at + moved, m_marks[next].length, m_marks[next].character});
        edit.endEditBlock();
        m_marks = std::move(list);
        m_marking = false;
        if (cursor >= 0 && !selected && m_textEdit->property("cursorPosition").toInt() != cursorNow)
            m_textEdit->setProperty("cursorPosition", cursorNow);
        noteHistory(before, false);
        changed = true;
    }
    if (!changed)
        return;
    emit hiddenChanged();
    announceMarks();
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
    // The paste as it will read, and its marks, at their offsets in it: between fences where
    // the paste or the paragraphs it goes into hold right-to-left letters.
    QString shown;
    QList<Mark> pasted;
    bool fenced = false;
    if (!found.isEmpty()) {
        fenced = holdsRightToLeftLetters(text) || holdsRightToLeftLetters(m_document->findBlock(start).text())
                || holdsRightToLeftLetters(m_document->findBlock(end).text());
        shown.reserve(text.size() + found.size() * (fenced ? 10 : 8));
        pasted.reserve(found.size());
        qsizetype done = 0;
        for (const HiddenCharacters::Found& hidden : found) {
            shown += QStringView(text).sliced(done, hidden.at - done);
            const QString mark = markText(hidden.character, fenced);
            pasted.append({int(shown.size()), int(mark.size()), hidden.character});
            shown += mark;
            done = hidden.at + hidden.length;
        }
        shown += QStringView(text).sliced(done);
    }
    // Qt wraps a stretch it may not break at a word boundary anywhere, but only after looking for
    // a boundary through all the rest of it, line after line: a paragraph of tens of thousands of
    // marks side by side took seconds to lay out (and again on "Remove them"'s undo). A paste that
    // would leave a stretch longer than mostUnbrokenPasted goes as a text chip instead, which
    // sends the same text (hidden characters as their marks) and says how many it holds.
    //
    // Each key lays its paragraph out again, and each mark is a piece to shape and set of its own
    // (of another direction in right-to-left text, which costs some twice as much): a paste that
    // would leave more marks in the paragraphs it goes into than a key there can lay out in time
    // goes as a chip the same way (49,500 marks in Hebrew took the window a second a key).
    // The paste itself lays out all it brings: its marks are bounded as a whole as well.
    const bool tooMany = !found.isEmpty()
        && (found.size() > (fenced ? mostFencedMarksPasted : mostMarksPasted)
            || mostMarksInAParagraph(start, end, text, found) > (fenced ? mostFencedMarksAround : mostMarksAround));
    if (m_attachments && tooMany) {
        m_attachments->attachPastedText(text, found.size());
        return;
    }
    if (m_attachments && longestUnbrokenAround(start, end, found.isEmpty() ? text : shown) > mostUnbrokenPasted) {
        m_attachments->attachPastedText(text, found.size());
        return;
    }
    const QList<Mark> marksBefore = m_marks;
    const int lengthBefore = m_document->characterCount();
    if (found.isEmpty()) {
        // The editor's own way with plain text, the marks kept here: Qt reports a piece put in at
        // a paragraph's start as a change of the whole paragraph, which the marks after the
        // paste in it would take for an edit that reached them.
        m_marking = true;
        at.insertFragment(QTextDocumentFragment::fromPlainText(text));
        m_marking = false;
        // The typed text's rules look at the paste beside what stands around it.
        noteEdited(start, end - start, m_document->characterCount() - lengthBefore + (end - start));
    } else {
        replaceWithMarks(at, shown);
    }
    // The marks the selection reached into are gone; those after it move along.
    const qsizetype first = firstMarkEndingAfter(start);
    qsizetype last = first;
    while (last < m_marks.size() && m_marks[last].at < end)
        ++last;
    const int moved = m_document->characterCount() - lengthBefore;
    for (qsizetype i = first; i < last; ++i)
        noteStrays(m_marks[i], start, end - start, moved, false);
    // The bare marks of the paragraphs the paste went into, between fences now if it brought
    // right-to-left letters there.
    if (fenced)
        noteEdited(start, 0, int(shown.size()));
    QList<Mark> list;
    list.reserve(m_marks.size() - (last - first) + pasted.size());
    list.append(m_marks.first(first));
    for (Mark m : std::as_const(pasted)) {
        m.at += start;
        list.append(m);
    }
    for (qsizetype i = last; i < m_marks.size(); ++i)
        list.append({m_marks[i].at + moved, m_marks[i].length, m_marks[i].character});
    m_marks = std::move(list);
    noteHistory(marksBefore, last > first);
    if (!marksBefore.isEmpty() || !pasted.isEmpty()) {
        emit hiddenChanged();
        announceMarks();
    }
}

void ComposerModel::replaceWithMarks(QTextCursor& at, const QString& text)
{
    m_marking = m_historyHasMarks = true;
    at.beginEditBlock();
    at.removeSelectedText();
    at.insertText(text);
    at.endEditBlock();
    m_marking = false;
}

void ComposerModel::removeHidden()
{
    markHidden();
    if (!m_document || m_marks.isEmpty())
        return;
    // The stretch from the first mark to the end of the last is put back without its marks, in
    // one edit: an edit per mark made the history replay tens of thousands of them on undo. The
    // text between the marks stays as it is (paragraph and line breaks included).
    const int from = m_marks.first().at, to = m_marks.last().at + m_marks.last().length;
    QTextCursor edit(m_document);
    edit.setPosition(from);
    edit.setPosition(to, QTextCursor::KeepAnchor);
    const QString stretch = edit.selectedText();
    QString kept;
    kept.reserve(stretch.size());
    int done = from;
    for (const Mark& m : std::as_const(m_marks)) {
        kept += QStringView(stretch).sliced(done - from, m.at - done);
        done = m.at + m.length;
    }
    // The editor's cursor and selection stay where they stood in the text, as if each mark alone
    // went (one inside a mark goes to where the mark stood).
    const auto without = [this](int position) {
        const qsizetype i = firstMarkEndingAfter(position);
        int gone = 0;
        for (qsizetype j = 0; j < i; ++j)
            gone += m_marks[j].length;
        if (i < m_marks.size() && m_marks[i].at < position)
            gone += position - m_marks[i].at;
        return position - gone;
    };
    const int selectionStart = without(m_textEdit->property("selectionStart").toInt());
    const int selectionEnd = without(m_textEdit->property("selectionEnd").toInt());
    const bool cursorAtEnd = m_textEdit->property("cursorPosition").toInt() == m_textEdit->property("selectionEnd").toInt();
    const QList<Mark> before = m_marks;
    replaceWithMarks(edit, kept);
    m_marks.clear();
    m_strays.clear();
    if (selectionStart == selectionEnd) {
        m_textEdit->setProperty("cursorPosition", selectionStart);
    } else if (cursorAtEnd) {
        QMetaObject::invokeMethod(m_textEdit, "select", Q_ARG(int, selectionStart), Q_ARG(int, selectionEnd));
    } else {
        QMetaObject::invokeMethod(m_textEdit, "select", Q_ARG(int, selectionEnd), Q_ARG(int, selectionStart));
    }
    noteHistory(before, true);
    emit hiddenChanged();
    announceMarks();
}

bool ComposerModel::copySelection(bool cut)
{
    if (!m_document || !m_textEdit)
        return false;
    const int from = m_textEdit->property("selectionStart").toInt(), to = m_textEdit->property("selectionEnd").toInt();
    // Without a mark's fence in it, the selection goes by the editor's own way.
    const QString text = withoutFences(from, to);
    if (from >= to || text.size() == to - from)
        return false;
    QGuiApplication::clipboard()->setText(text);
    if (cut && !m_textEdit->property("readOnly").toBool())
        QMetaObject::invokeMethod(m_textEdit, "remove", Q_ARG(int, from), Q_ARG(int, to));
    return true;
}

QVariantList ComposerModel::markBoxes(qreal top, qreal bottom) const
{
    QVariantList boxes;
    if (!m_document || m_marks.isEmpty())
        return boxes;
    // The marks on the lines in view, by the places of the text there.
    QAbstractTextDocumentLayout* layout = m_document->documentLayout();
    const int length = m_document->characterCount() - 1;
    int from = layout->hitTest(QPointF(0, top), Qt::FuzzyHit);
    int to = layout->hitTest(QPointF(m_document->textWidth() > 0 ? m_document->textWidth() : 1e6, bottom), Qt::FuzzyHit);
    from = from < 0 ? 0 : from;
    to = to < 0 ? length : to;
    // A place found from the left of a line is its end in right-to-left text: the lines' ends are
    // taken instead.
    const auto lineEdge = [this](int position, bool end) {
        const QTextBlock b = m_document->findBlock(position);
        const QTextLine line = b.isValid() && b.layout() ? b.layout()->lineForTextPosition(position - b.position()) : QTextLine();
        if (!line.isValid())
            return position;
        return b.position() + line.textStart() + (end ? line.textLength() : 0);
    };
    from = std::min(from, lineEdge(std::max(0, from - 1), false));
    to = std::max(to, lineEdge(to, true));
    constexpr int most = 2000;  // more than any editor shows at once
    QTextBlock block;
    for (qsizetype i = firstMarkEndingAfter(from); i < m_marks.size() && m_marks[i].at <= to && boxes.size() < most; ++i) {
        const Mark& m = m_marks[i];
        if (!block.isValid() || m.at < block.position() || m.at >= block.position() + block.length()) {
            block = m_document->findBlock(m.at);
            layout->blockBoundingRect(block);  // laid out now if it is not yet
        }
        const QTextLayout* lines = block.layout();
        // The written form, between its fences if it has them.
        const int start = m.at - block.position() + m.fenced(), end = m.at - block.position() + m.length - m.fenced();
        const QTextLine firstLine = lines->lineForTextPosition(start), lastLine = lines->lineForTextPosition(end - 1);
        if (!firstLine.isValid() || !lastLine.isValid())
            continue;
        // A mark the line breaks in (a run of marks wider than the editor) is a box on each line.
        // On a line, the box spans the glyphs of the mark's own characters: in right-to-left text
        // they may fall in runs of both directions (a mark before a number), where the cursor's
        // places at the mark's two ends enclose other text as well. Pieces set apart are boxes of
        // their own.
        for (int n = firstLine.lineNumber(); n <= lastLine.lineNumber(); ++n) {
            const QTextLine line = lines->lineAt(n);
            const int from = std::max(start, line.textStart());
            const int to = std::min(end, line.textStart() + line.textLength());
            QList<std::pair<qreal, qreal>> pieces;
            for (const QGlyphRun& run : line.glyphRuns(from, to - from)) {
                const QRectF r = run.boundingRect();
                if (r.width() > 0)
                    pieces.append({r.left(), r.right()});
            }
            std::sort(pieces.begin(), pieces.end());
            QList<std::pair<qreal, qreal>> joined;
            for (const auto& piece : std::as_const(pieces)) {
                if (!joined.isEmpty() && piece.first <= joined.last().second + 0.5)
                    joined.last().second = std::max(joined.last().second, piece.second);
                else
                    joined.append(piece);
            }
            for (const auto& [left, right] : std::as_const(joined)) {
                const QPointF at = lines->position() + QPointF(left, line.y());
                boxes << QVariantMap{{QStringLiteral("start"), m.at},
                                     {QStringLiteral("end"), m.at + m.length},
                                     {QStringLiteral("x"), at.x()},
                                     {QStringLiteral("y"), at.y()},
                                     {QStringLiteral("width"), right - left},
                                     {QStringLiteral("height"), line.height()}};
            }
        }
    }
    return boxes;
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

bool ComposerModel::takesMessages() const
{
    const QVariant accepting = sessionValue("accepting");
    return m_session && (!accepting.isValid() || accepting.toBool());
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
    // Return while a paste or chosen files are still read: the message goes with them once they
    // are in (the composer says it waits), rather than the key being lost.
    if (m_session && m_attachments && m_attachments->reading() && !awaitingChoice()) {
        m_attachments->sendWhenRead();
        return;
    }
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
