// What each Qt Quick Test runner shares: one folder for the run, made HOME and the XDG folders
// before anything reads them (nothing touches the user's), then Qt's own test main.
#pragma once

#include "support/QtTestSupport.h"

#include <QObject>
#include <QTemporaryDir>
#include <QtQuickTest/quicktest.h>

namespace brinmoor::test {

inline QTemporaryDir& quickSandbox()
{
    static QTemporaryDir dir;
    return dir;
}

// `setup` is the runner's object with the applicationAvailable / qmlEngineAvailable slots.
inline int quickTestMain(int argc, char** argv, const char* name, const char* sourceDir, QObject* setup)
{
    if (!quickSandbox().isValid())
        return 2;
    useSandboxHome(quickSandbox().path());
    return quick_test_main_with_setup(argc, argv, name, sourceDir, setup);
}

} // namespace brinmoor::test
