#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QtQml/qqmlregistration.h>

namespace brinmoor {

// The state behind a copy button: a click puts the text, trimmed of white space at both ends, on
// the clipboard and sets `copied`; every click schedules its own reset 1.4 s later and none is
// ever cancelled, so the earliest pending one turns the button back (a second click at 1.0 s
// does not stretch the first one's 1.4 s). With `manualClock` set, time stands still until
// advance() moves it, for tests.
class CopyFeedback : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(bool copied READ copied NOTIFY copiedChanged)
    Q_PROPERTY(bool manualClock READ manualClock WRITE setManualClock NOTIFY manualClockChanged)
public:
    static constexpr int holdMs = 1400;

    explicit CopyFeedback(QObject* parent = nullptr);

    bool copied() const { return m_copied; }
    bool manualClock() const { return m_manual; }
    void setManualClock(bool manual);

    Q_INVOKABLE void copy(const QString& text);
    // Moves the manual clock on and runs the resets that come due.
    Q_INVOKABLE void advance(int ms);

signals:
    void copiedChanged();
    void manualClockChanged();

private:
    qint64 now() const;
    void setCopied(bool copied);
    void runDue();
    void arm();

    bool m_copied = false;
    bool m_manual = false;
    qint64 m_manualNow = 0;
    QElapsedTimer m_clock;
    QList<qint64> m_due;  // pending reset times, earliest first
    QTimer m_timer;
};

} // namespace brinmoor
