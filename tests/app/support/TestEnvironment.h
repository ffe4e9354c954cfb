#pragma once

#include "support/QtTestSupport.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

namespace brinmoor::test {

// The environment of the application core's tests: HOME, XDG_CONFIG_HOME and XDG_DATA_HOME inside
// one temporary folder, and one GUI application object (offscreen) for the whole process.
::testing::Environment* makeQtEnvironment();

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

} // namespace brinmoor::test

// Registers that environment for the test file that names it (once, at namespace scope). Test
// files that make their own application object leave it out.
#define BRINMOOR_APP_TEST_ENVIRONMENT()                                                        \
    [[maybe_unused]] static ::testing::Environment* const brinmoorAppTestEnvironment =         \
        ::testing::AddGlobalTestEnvironment(::brinmoor::test::makeQtEnvironment())

