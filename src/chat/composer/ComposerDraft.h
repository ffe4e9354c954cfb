#pragma once

#include "AttachmentListModel.h"
#include "HiddenCharacters.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

namespace brinmoor {

// The next message of a chat pane as the user left it: the draft's text, where its cursor stood,
// and the attachments waiting to go with it. A composer on screen keeps the text in its editor and
// leaves it here when the editor goes; the attachments live here all along. ChatPaneMemory hands
// the pane's one to the views of each of its chat sessions, so a composer built again (a workspace
// shown again after others took its place, the pane's session restarted) gives back what was there.
class ComposerDraft : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("A draft belongs to a composer or a chat session")
    // The text as the last editor left it (the live draft is ComposerModel.draft).
    Q_PROPERTY(QString text READ text NOTIFY changed)
    Q_PROPERTY(int cursorPosition READ cursorPosition NOTIFY changed)
    Q_PROPERTY(brinmoor::AttachmentListModel* attachments READ attachments CONSTANT)
public:
    explicit ComposerDraft(QObject* parent = nullptr);

    // A hidden character's mark in the text: where it starts and what it stands for, so that an
    // editor made again shows it as a mark, not as the text of one.
    struct Mark {
        int at = 0;
        char32_t character = 0;
        bool operator==(const Mark&) const = default;
    };

    QString text() const { return m_text; }
    int cursorPosition() const { return m_cursor; }
    const QList<Mark>& marks() const { return m_marks; }
    AttachmentListModel* attachments() const { return m_attachments; }
    // The cursor is held within the text.
    void keep(const QString& text, int cursorPosition, const QList<Mark>& marks = {});
    // `text` put over the kept text from `from` to `to` (-1: its end), as a paste that came while no
    // editor held the draft: the cursor and the marks after it move along, the marks it covers go.
    // Past the composer's bounds for a paste (too many marks, too long a stretch without a place to
    // break a line) it goes as a chip named with its count of hidden characters instead, as it
    // would have in the editor, and the kept text stays as it was.
    void insertText(int from, int to, const QString& text);

signals:
    void changed();

private:
    // Whether a paste of `text` (its hidden characters `found`) over `start`-`end` would leave more
    // marks in one paragraph, or bring more in all, than the composer lays out in time.
    bool tooManyMarks(int start, int end, const QString& text, const QList<HiddenCharacters::Found>& found, bool fenced) const;
    // The longest stretch without a place to break a line that `shown` (the paste with its marks)
    // put over `start`-`end` would leave in the paragraphs it goes into.
    qsizetype longestUnbroken(int start, int end, const QString& shown) const;

    QString m_text;
    int m_cursor = 0;
    QList<Mark> m_marks;
    AttachmentListModel* m_attachments;
};

} // namespace brinmoor
