#pragma once

#include "X11ClipboardReader.h"

#include <QObject>
#include <QPointer>
#include <QQuickItem>
#include <QThreadPool>

#include <memory>

namespace brinmoor {

// Pastes into Qt Quick's own text fields (the rename fields, the sheets' fields, a question's
// answer) read off the GUI thread when another program holds the clipboard. Qt's fields paste
// through QClipboard, whose X11 side asks the owner on the GUI thread: 5 s for each question an
// owner leaves unanswered, as long as it likes for a text it trickles. Installed on the
// application, it takes Ctrl+V, Shift+Insert and the middle click from such a field when another
// program holds what they paste, reads it on a thread of its own (one paste at a time: a new one
// replaces the one in progress) and puts the text in where the field's cursor stands, over its
// selection, once it has come. When the app holds the clipboard itself, Qt answers from memory and
// the field pastes as it always did. An editor that reads its pastes itself (the composer) says so
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

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void start(QQuickItem* field, X11ClipboardReader::Selection from);
    void arrived(const X11ClipboardReader::Control* control, X11ClipboardReader::Outcome outcome, QString text);

    QThreadPool m_pool;
    std::shared_ptr<X11ClipboardReader::Control> m_control;
    QPointer<QQuickItem> m_field;
    QPointer<QQuickItem> m_middlePressed;  // the field a middle button went down on
};

} // namespace brinmoor
