#pragma once

#include "ReadThreads.h"
#include "X11ClipboardReader.h"

#include <QKeyEvent>
#include <QObject>
#include <QPointer>
#include <QQuickItem>
#include <QTimer>
#include <QWindow>

#include <memory>
#include <vector>

namespace brinmoor {

// Pastes into Qt Quick's own text fields (the rename fields, the sheets' fields, a question's
// answer) read off the GUI thread when another program holds the clipboard. Qt's fields paste
// through QClipboard, whose X11 side asks the owner on the GUI thread: 5 s for each question an
// owner leaves unanswered, as long as it likes for a text it trickles. Installed on the
// application, it takes Ctrl+V, Shift+Insert and the middle click from such a field when another
// program holds what they paste, reads it on a thread of its own (one paste at a time: a new one
// replaces the one in progress) and puts the text in once it has come: Ctrl+V's where the field's
// cursor stands, over its selection; a middle click's where the button went, replacing nothing, as
// on every X desktop. The keys typed into the field meanwhile (Return too) are held back and go in
// after the text, in the order typed, so that a name saved with Return has its paste. When the app
// holds the clipboard itself, Qt answers from memory and the field pastes as it always did. An editor that reads its pastes itself (the composer) says so
// with a `readsPastesItself` property and is left alone; so is everything without X11.
class FieldPaste : public QObject {
    Q_OBJECT
public:
    explicit FieldPaste(QObject* parent = nullptr);
    // A read in progress is cancelled; its thread ends at once.
    ~FieldPaste() override;

    // The most a field takes: fields hold names, paths and answers, not documents.
    static constexpr qint64 limitBytes = 1024 * 1024;

    // Whether a paste is being read.
    bool reading() const { return bool(m_control); }
    // Keys are held back at most this long behind a read: past it the read is given up and the
    // keys go in without it.
    static constexpr int holdLimitMs = X11ClipboardReader::answerTimeoutMs;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void start(QQuickItem* field, X11ClipboardReader::Selection from);
    void arrived(const X11ClipboardReader::Control* control, X11ClipboardReader::Outcome outcome, QString text);
    // The keys held back behind the read go to the window, as if typed now.
    void replayHeld();

    ReadThreads m_threads;
    std::shared_ptr<X11ClipboardReader::Control> m_control;
    QPointer<QQuickItem> m_field;
    bool m_primary = false;  // the read is a middle click's
    std::vector<std::unique_ptr<QKeyEvent>> m_held;
    QPointer<QWindow> m_heldWindow;
    bool m_replaying = false;
    QTimer m_holdLimit;
    QPointer<QQuickItem> m_middlePressed;  // the field a middle button went down on
};

} // namespace brinmoor
