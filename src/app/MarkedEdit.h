#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

namespace brinmoor {

// The text of a one-line editable field (a rename, the chooser's path) that may hold hidden
// characters (HiddenCharacters). The field shows each one as its mark, "<U+202E>", which cannot
// reorder the line, and this keeps, beside the field's text, which stretches of it are marks and
// what each stands for: a mark is never read back from the text, so the user who types
// "<U+202E>" gets those eight characters, and a name saved unedited keeps its hidden characters.
// A mark is whole or gone: a deletion that reaches into one removes it, and a character typed
// inside one goes after it. A hidden character pasted into the field becomes a mark too, and is
// kept as the character it is. What leaves the field is the text it stands for: a selection's
// text in the X primary selection, Ctrl+C's and Ctrl+X's, each mark as its character, never its
// written form or the isolate around it; and the caret never stops just inside an isolate.
class MarkedEdit : public QObject {
    Q_OBJECT
    QML_ELEMENT
    // The text to edit; setting it starts over.
    Q_PROPERTY(QString original READ original WRITE setOriginal NOTIFY changed)
    // What the field shows: the text with its hidden characters as marks.
    Q_PROPERTY(QString shown READ shown NOTIFY changed)
    // The text the field now stands for: `shown` with each mark as its character.
    Q_PROPERTY(QString value READ value NOTIFY changed)
    // The marks' written forms in `shown`, in order: {start, end} in UTF-16 units. (In a line
    // with right-to-left letters each stands in a left-to-right isolate, which `shown` holds
    // around it so that it reads as one piece, and `value` leaves out.)
    Q_PROPERTY(QVariantList marks READ markList NOTIFY changed)
    // Where the cursor belongs after the last edit.
    Q_PROPERTY(int cursor READ cursor NOTIFY changed)
    // The field (a TextInput or a TextField) whose text this keeps: its selection, followed here,
    // tells what an edit replaced.
    Q_PROPERTY(QObject* field READ field WRITE setField NOTIFY fieldChanged)
public:
    explicit MarkedEdit(QObject* parent = nullptr) : QObject(parent) {}

    struct Mark {
        qsizetype start, end;
        char32_t character;
    };

    QString original() const { return m_original; }
    void setOriginal(const QString& text);
    QString shown() const { return m_shown; }
    QString value() const;
    QVariantList markList() const;
    QList<Mark> marks() const { return m_marks; }
    int cursor() const { return int(m_cursor); }
    QObject* field() const { return m_field; }
    void setField(QObject* field);

    // The field's selection (or its cursor, start and end alike) while it holds `shown`: the next
    // edit replaced it, when that fits the text the edit left. Typing "<" over a selected mark and
    // deleting "U+202E>" from it leave the same text; only the selection tells them apart.
    Q_INVOKABLE void select(int start, int end);

    // The field's text after an edit, and its cursor. `shown` then holds the field's new text,
    // which differs from `text` when the edit touched a mark or brought in a hidden character:
    // the field is then set to `shown` and its cursor to `cursor`.
    Q_INVOKABLE void edit(const QString& text, int cursorPosition);

    // The text that the stretch from `start` to `end` of `shown` stands for: each mark it reaches
    // into as its character, no isolate. What a copy, a cut or the X primary selection of that
    // stretch carries: never the mark's written form, which pasted back would be typed text.
    Q_INVOKABLE QString valueOf(int start, int end) const;

signals:
    void changed();
    void fieldChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void onFieldSelection();

private:
    // `text` with its hidden characters as marks, appended at the end of `shown`.
    void append(QStringView text);
    // Each mark of `shown` in a left-to-right isolate where the line holds right-to-left letters,
    // and bare elsewhere; the cursor kept where it stood in the text.
    void isolateMarks();
    // The field's cursor (or its selection's moving end) just inside a mark's isolate moves on to
    // the next place in the way it went: an isolate's inner ends are places that do not move on
    // screen, where a key typed would land beside the mark and not where the user sees the caret.
    void stepOutOfIsolate(int was, int now);
    // What the field wrote to the X primary selection (its shown text, marks' written forms and
    // isolates and all) replaced by the true text of its selection; or, when a key changed the
    // selection from `selectedFrom`-`selectedTo`, that true text put there.
    void keepPrimaryTrue(int selectedFrom, int selectedTo);

    QString m_original;
    QString m_shown;
    QList<Mark> m_marks;
    qsizetype m_cursor = 0;
    qsizetype m_selectionStart = -1, m_selectionEnd = -1;  // none known
    QPointer<QObject> m_field;
    QList<QMetaObject::Connection> m_fieldLinks;
    int m_cursorSeen = 0;      // the field's cursor as last reported
    bool m_keyDown = false;    // between a key's press and its release: the cursor moves by a key
    bool m_primaryDue = false;
    bool m_stepping = false;   // moving the cursor ourselves
};

} // namespace brinmoor
