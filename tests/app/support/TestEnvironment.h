#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <functional>

namespace brinmoor::test {

// Points XDG_DATA_HOME (the data folder's parent) at a fresh temporary folder for its lifetime.
class ScopedDataHome {
public:
    ScopedDataHome();
    ~ScopedDataHome();
    QString path() const { return m_dir.path(); }
    // <data home>/Brinmoor/state.json (or Brinmoor-Dev).
    QString statePath(bool dev = false) const;
    void writeState(const QByteArray& bytes, bool dev = false) const;
    QByteArray readState(bool dev = false) const;

private:
    QTemporaryDir m_dir;
    QByteArray m_previous;
};

// Waits (running the event loop) until `done` holds or `ms` pass; returns `done()`.
bool waitUntil(const std::function<bool()>& done, int ms = 20000);

} // namespace brinmoor::test
