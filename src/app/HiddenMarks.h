#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QtQml/qqmlregistration.h>

namespace brinmoor {

// Names in the window (folders, workspaces, panes) with their hidden characters (HiddenCharacters)
// shown as marks. A folder named "rlo<RLO>gpj.exe" reads "rloexe.jpg" as it is; a cloned
// repository or an unpacked archive picks its own folder names, and pane names come from them.
// The marks are for display only: the name stored, copied or renamed stays as it was.
class HiddenMarks : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
public:
    explicit HiddenMarks(QObject* parent = nullptr) : QObject(parent) {}

    // `text` as one line of styled text with every hidden character as a mark in its colour, or ""
    // when it holds none (the item then shows the text as it is, in plain text).
    Q_INVOKABLE static QString name(const QString& text);
    // `text` with each hidden character written "<U+XXXX>": for a tooltip, for measuring the marked
    // text, and for an editable field, where no mark can be drawn and nothing may reorder.
    Q_INVOKABLE static QString plainName(const QString& text);
    // `name` as it stands in one of the app's sentences, in plain text: as it is, or with its
    // hidden characters and line breaks written "<U+XXXX>" and isolated from the words around it.
    Q_INVOKABLE static QString inSentence(const QString& name);
    // A sentence of the app's with `name` in place of "%1", as styled text: the words escaped,
    // the name isolated from them and its hidden characters as marks in their colour.
    Q_INVOKABLE static QString sentence(const QString& words, const QString& name);
    // A sentence of the app's holding several names, `names[0]` in place of "%1", `names[1]` of
    // "%2" and so on, each as inSentence() gives it: plain text.
    Q_INVOKABLE static QString plainSentence(const QString& words, const QStringList& names);
    // The same as styled text, the hidden characters of the names as marks in their colour; ""
    // when no name holds one (the item then shows plainSentence() in plain text).
    Q_INVOKABLE static QString markedSentence(const QString& words, const QStringList& names);
    // The name an editable field holding plainName(original) now gives: `original` itself when
    // left as it was, otherwise the text with each mark written back as its character.
    Q_INVOKABLE static QString editedName(const QString& edited, const QString& original);
};

} // namespace brinmoor
