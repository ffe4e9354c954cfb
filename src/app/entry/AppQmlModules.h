// Every QML module of the application, compiled in: for the program and for each test or
// benchmark that links the whole of it (brinmoor_entry) and loads the real window. Include it
// in one file of the executable.
#pragma once

#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(Brinmoor_AppPlugin)
Q_IMPORT_QML_PLUGIN(Brinmoor_AgentPlugin)
Q_IMPORT_QML_PLUGIN(Brinmoor_SheetsPlugin)
Q_IMPORT_QML_PLUGIN(Brinmoor_ChatPlugin)
Q_IMPORT_QML_PLUGIN(Brinmoor_TerminalPlugin)
Q_IMPORT_QML_PLUGIN(Brinmoor_WindowPlugin)
Q_IMPORT_QML_PLUGIN(BrinmoorPlugin)
