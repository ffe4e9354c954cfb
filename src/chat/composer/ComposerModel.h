#pragma once

#include "AttachmentListModel.h"
#include "ComposerDraft.h"
#include "HiddenCharacters.h"

#include <QMetaObject>
#include <QObject>
#include <QQmlParserStatus>
#include <QPointer>
#include <QQuickItem>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QtQml/qqmlregistration.h>

#include <map>
#include <set>

class QTextCursor;
class QTextDocument;

namespace brinmoor {

// The state and actions of a chat pane's composer: the draft, the slash-command pop-up, sending,
// compacting and stopping. It drives the pane's chat session through the session's published
// properties ("provider", "busy", "availableCommands", "pendingPermission", "pendingQuestion")
// and its invokable operations ("send", "compact", "interrupt"), so it works with any object
// that offers them. While the composer is on screen its editor holds the draft (`textEdit`): the
// draft is then read from the editor's document only when it is needed, and a key updates only
// what the rules look at (whether there is any text, and the command word at its start), so that
// typing costs the same in a draft of a megabyte as in an empty one. The draft goes to its
// `store` (the session's, which the pane gives) when the editor goes, and comes from it when an
// editor comes: a composer built again on the session shows the text, cursor and chips left.
class ComposerModel : public QObject, public QQmlParserStatus {
    Q_OBJECT
    Q_INTERFACES(QQmlParserStatus)
    QML_ELEMENT
    Q_PROPERTY(QObject* session READ session WRITE setSession NOTIFY sessionChanged)
    // Where the draft and its attachments are kept: its own unless another is set (the session's).
    Q_PROPERTY(brinmoor::ComposerDraft* store READ store WRITE setStore NOTIFY storeChanged)
    // The store's list unless another is set.
    Q_PROPERTY(brinmoor::AttachmentListModel* attachments READ attachments WRITE setAttachments NOTIFY attachmentsChanged)
    // Read on demand: a binding on it would copy the whole draft on every key.
    Q_PROPERTY(QString draft READ draft WRITE setDraft NOTIFY draftChanged)
    // The TextEdit that holds the draft while the composer is shown; none: the model holds it.
    Q_PROPERTY(QQuickItem* textEdit READ textEdit WRITE setTextEdit NOTIFY textEditChanged)
    // The highlighted row of the pop-up (it may lie beyond the six rows drawn).
    Q_PROPERTY(int slashIndex READ slashIndex NOTIFY slashChanged)
    // Escape closed the pop-up; the next edit of the draft opens it again.
    Q_PROPERTY(bool slashDismissed READ slashDismissed NOTIFY slashChanged)
    Q_PROPERTY(QStringList slashMatches READ slashMatches NOTIFY slashChanged)
    // The first six matches, the rows drawn, and the line that counts the others ("" for none).
    Q_PROPERTY(QStringList slashRows READ slashRows NOTIFY slashChanged)
    Q_PROPERTY(QString slashMoreLine READ slashMoreLine NOTIFY slashChanged)
    Q_PROPERTY(bool canSend READ canSend NOTIFY canSendChanged)
    // The agent waits for an answer in a card: the editor is off and nothing is sent.
    Q_PROPERTY(bool awaitingChoice READ awaitingChoice NOTIFY sessionStateChanged)
    Q_PROPERTY(bool busy READ busy NOTIFY sessionStateChanged)
    Q_PROPERTY(bool isCodex READ isCodex NOTIFY sessionChanged)
    Q_PROPERTY(QString placeholder READ placeholder NOTIFY sessionStateChanged)
    // Hidden characters that came into the draft (pasted, typed, dropped) are replaced in the
    // editor by their marks, "<U+202E>", each drawn on a box in the marks' colour: an override
    // cannot reorder the draft, nothing in it is unseen, and what is sent is the text as it reads.
    // How many marks stand in the draft, and the line that says so ("" for none).
    Q_PROPERTY(int hiddenCount READ hiddenCount NOTIFY hiddenChanged)
    Q_PROPERTY(QString hiddenNotice READ hiddenNotice NOTIFY hiddenChanged)
public:
    explicit ComposerModel(QObject* parent = nullptr);
    // The draft still in the editor is left in the store.
    ~ComposerModel() override;
    void classBegin() override {}
    void componentComplete() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

    QObject* session() const { return m_session; }
    void setSession(QObject* session);
    ComposerDraft* store() const;
    void setStore(ComposerDraft* store);
    AttachmentListModel* attachments() const { return m_attachments; }
    void setAttachments(AttachmentListModel* attachments);
    QString draft() const;
    void setDraft(const QString& draft);
    QQuickItem* textEdit() const { return m_textEdit; }
    void setTextEdit(QQuickItem* edit);
    int slashIndex() const { return m_slashIndex; }
    bool slashDismissed() const { return m_slashDismissed; }
    QStringList slashMatches() const { return m_matches; }
    QStringList slashRows() const { return m_matches.mid(0, 6); }
    QString slashMoreLine() const;
    bool canSend() const;
    bool awaitingChoice() const;
    bool busy() const;
    bool isCodex() const;
    QString placeholder() const;
    int hiddenCount() const { return int(m_marks.size()); }
    QString hiddenNotice() const;

    // A key the editor offers before handling it (a Qt key code; keypad Enter counts as Return).
    // True when the pop-up took it.
    Q_INVOKABLE bool handleSpecialKey(int key);
    Q_INVOKABLE void acceptSlash(const QString& command);
    // Sends the draft and the attachments, or compacts for "/compact" in an idle Claude pane.
    Q_INVOKABLE void send();
    // Stops the running turn.
    Q_INVOKABLE void stop();
    // Takes the marks of hidden characters out of the draft (the text around them stays).
    Q_INVOKABLE void removeHidden();
    // The boxes to draw behind the marks whose lines lie between `top` and `bottom` (the editor's
    // text coordinates): {start, end, x, y, width, height} each, a mark broken over two lines as
    // two boxes. Asked again on marksMoved().
    Q_INVOKABLE QVariantList markBoxes(qreal top, qreal bottom) const;
    // Ctrl+C or Ctrl+X on a selection holding marks between fences: the selection goes to the
    // clipboard without them (and, for a cut, out of the draft). False leaves the key to the editor.
    Q_INVOKABLE bool copySelection(bool cut);
    // A mark's text in the editor: its written form ("<U+200F>"), between two left-to-right marks
    // (U+200E, its fences) when `fenced`, so that right-to-left text around it never splits it.
    static QString markText(char32_t character, bool fenced);
    // Whether a paragraph holding `text` has right-to-left letters: there a mark's neutral "<" and ">"
    // take the direction of what stands beside them, and digits beside a mark join its run. (A hidden
    // right-to-left mark is no letter: it becomes a mark.)
    static bool holdsRightToLeftLetters(QStringView text);

    // The bounds of what a paste may leave in the draft as text; past them it goes as a chip
    // named with its count of hidden characters. (ComposerDraft keeps to them too, for a paste
    // that lands while no editor holds the draft.)
    // The longest stretch without a word boundary a paste may leave in the draft (in UTF-16
    // units, marks as they read): a paragraph holding one takes Qt about 0.1 s to lay out in a
    // 1240 px window under load; 50,000 marks side by side (450,000 units) took 10 s.
    static constexpr qsizetype mostUnbrokenPasted = 40000;
    // The most marks a paste may leave in the paragraphs it goes into, in Latin text and where
    // they stand between fences (right-to-left text): a key in a paragraph of so many took 70 to
    // 100 ms to lay out and draw (bench_composer's BM_PasteManyMarksInScript), inside the 200 ms a
    // key may hold the window on a busy machine.
    static constexpr qsizetype mostMarksAround = 12000;
    static constexpr qsizetype mostFencedMarksAround = 5000;
    // The most marks one paste may bring, over all its paragraphs: the paste lays them all out
    // (20,000 in Latin took 80 ms, in Hebrew 200 ms).
    static constexpr qsizetype mostMarksPasted = 20000;
    static constexpr qsizetype mostFencedMarksPasted = 10000;

signals:
    void sessionChanged();
    void storeChanged();
    void attachmentsChanged();
    void draftChanged();
    void textEditChanged();
    void slashChanged();
    void canSendChanged();
    void sessionStateChanged();
    void hiddenChanged();
    // The marks came, went or moved with the text (once per turn of the event loop, after edits).
    void marksMoved();

private slots:
    void onSessionState();
    void onCursorMoved();
    // The editor's selection changed: what it puts in the X primary selection is set right after.
    void onSelectionMoved();
    void onCommands();

private:
    struct Mark;
    // The editor's text and cursor left in the store (nothing without an editor).
    void keepInStore();
    // A message that waited for a paste which came while no composer was there (the session
    // restarted or stopped meanwhile) goes from this composer, once it is built.
    void sendWaitingSoon();
    // There is a session, and it has an agent to read a message (or says nothing of one).
    bool takesMessages() const;
    // The stored draft put into the editor, its cursor where it was.
    void loadFromStore();
    // Qt's editor writes its selection to the X primary selection as the document holds it, the
    // marks' fences included: where it did, the selection's text without them replaces it. (Its
    // editor starts no drag of the selection, so no drag carries them out either.)
    void keepPrimaryTrue();
    // The caret (or a selection's moving end) at a place inside a mark's fences, just after the
    // first or before the second, moves to the next place in the way it went: a fence adds no
    // stop for the caret, and a key typed there would cut into the mark.
    void stepOverFence(int was, int now);
    // The marks of the editor's draft that still read as their marks, for the store.
    QList<ComposerDraft::Mark> marksToKeep() const;
    // The stored draft's marks drawn and counted as marks again.
    void restoreMarks(const QList<ComposerDraft::Mark>& marks);
    // Any edit of the draft, typed or set.
    void onDraftEdited();
    // An edit of the editor's document: the stretch it touched is looked at once the edit is done.
    void onContentsChange(int position, int removed, int added);
    // An edit of the draft to look at for hidden characters once the edit is done.
    void noteEdited(int position, int removed, int added);
    // Replaces the hidden characters of the stretches edited since the last call by marks.
    void markHidden();
    // Ctrl+Z or Ctrl+Shift+Z in the editor: its undo or redo, done here, and the marks of the
    // state it comes to taken from the history's.
    void stepThroughHistory(bool undo);
    // After an edit of the draft (the list of marks already moved with it): what the history
    // keeps of the marks. `before` is the list before the edit; `lost`, whether it took marks out.
    void noteHistory(const QList<Mark>& before, bool lost);
    // The oldest states kept dropped while the history holds too many marks.
    void keepHistoryBounded();
    // marksMoved(), once the edits of this turn are done.
    void announceMarks();
    // A pasted text put in at `at`, over its selection, as one step to undo: its hidden characters
    // go in as their marks, so the editor lays the paste out once, as it will read. A paste that
    // would leave a stretch too long to lay out in time becomes a text chip instead.
    void placePasted(QTextCursor& at, const QString& text);
    // The cursor's selection replaced by `text` as one step to undo, an edit of ours that puts
    // marks in or takes them out: the caller sets the list of marks.
    void replaceWithMarks(QTextCursor& at, const QString& text);
    void refreshSlash();
    int draftLength() const;
    QChar draftAt(int i) const;
    // The draft's first characters: enough to tell the command word being typed, and whether
    // the draft is exactly a "/" and a reported command.
    QString draftHead() const;
    // Follows the session property's change signal with one of the two slots above.
    void watch(const char* property, const char* slot);
    QVariant sessionValue(const char* property) const;

    QPointer<QObject> m_session;
    ComposerDraft* m_ownStore = nullptr;
    QPointer<ComposerDraft> m_store;
    QPointer<AttachmentListModel> m_attachments;
    QList<QMetaObject::Connection> m_sessionLinks;
    QList<QMetaObject::Connection> m_attachmentLinks;
    QPointer<QQuickItem> m_textEdit;
    QPointer<QTextDocument> m_document;
    QMetaObject::Connection m_documentLink;
    QMetaObject::Connection m_editorGone;
    QMetaObject::Connection m_storeGone;
    QMetaObject::Connection m_cursorLink;
    int m_cursorSeen = 0;  // the editor's cursor, read while the editor can still tell it
    QList<QMetaObject::Connection> m_selectionLinks;
    bool m_primaryDue = false;
    bool m_keyDown = false;  // between a key's press and its release: the caret moves by a key
    QMetaObject::Connection m_marksLink;
    // A mark in the editor, as a plain offset: every edit moves the marks after it by what it
    // added or removed, so that keeping track of them costs one pass over them per edit, whatever
    // their number (a live text cursor per mark made every insertion move all of them). Its text
    // is in the document's one format, as typed text is: a format of the marks' own made each
    // mark a piece of its own to shape, lay out and draw, and a paragraph of thousands of marks
    // took a quarter of a second a key. What tells a mark from the same text typed is this list.
    // A mark in a paragraph with right-to-left letters stands between left-to-right fences that are
    // part of it (whole or gone with it) and never part of the draft's text.
    struct Mark {
        int at;
        int length;
        char32_t character;
        bool fenced() const;
    };
    // Whether `text` holds mark `m`'s text at `at`.
    static bool readsAsMark(QStringView text, qsizetype at, const Mark& m);
    // The draft's text from `from` to `to` without the marks' fences.
    QString withoutFences(int from, int to) const;
    // An edit (at `position`, `removed` taken out, the text after it moved by `moved`) cut into
    // `m`: the fences it left are taken out after it, as part of it.
    void noteStrays(const Mark& m, int position, int removed, int moved, bool widened);
    QList<std::pair<int, char16_t>> m_strays;  // places of such ends, and which end each is
    QList<Mark> m_marks;  // in the order they stand
    // The most marks a paragraph would hold with `text` (its hidden characters `found`) put over
    // the draft's stretch from `from` to `to`.
    qsizetype mostMarksInAParagraph(int from, int to, const QString& text, const QList<HiddenCharacters::Found>& found) const;
    // The marks of the draft at states of the editor's history, by the number of edits undoable
    // there (QTextDocument::availableUndoSteps()); a state's text never changes once an edit
    // stands on it. Kept for the state each step that took marks out starts from (its undo brings
    // them back), for the state the last edit started from (a key that cuts into a mark may join
    // that step), and for the states an undo left (the redo brings their marks back). A state
    // not kept is one an undo or redo comes to with the marks the text kept.
    std::map<int, QList<Mark>> m_history;
    std::set<int> m_lostFrom;  // the states that steps taking marks out start from
    int m_historyState = 0;  // availableUndoSteps() after the last edit seen
    bool m_stepping = false;  // an undo or redo of ours is under way
    bool m_marksAnnounceDue = false;
    // Marks went into or out of the draft since its history began: only then can an undo or a
    // redo bring marks back or take them out, or be thousands of edits, and are Ctrl+Z and
    // Ctrl+Shift+Z done by stepThroughHistory().
    bool m_historyHasMarks = false;
    // The longest stretch no line may break in at a word boundary, `text` put over the draft's
    // stretch from `from` to `to`, in the paragraphs it would stand in.
    qsizetype longestUnbrokenAround(int from, int to, const QString& text) const;
    // The first mark that ends after `position`.
    qsizetype firstMarkEndingAfter(int position) const;
    int m_editedFrom = -1, m_editedTo = -1;
    bool m_marksDropped = false;
    bool m_marking = false;
    bool m_markingDue = false;
    bool m_draftHasText = false;
    int m_slashIndex = 0;
    bool m_slashDismissed = false;
    QStringList m_matches;
    bool m_lastCanSend = false;
};

} // namespace brinmoor
