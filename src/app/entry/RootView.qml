import QtQuick
import Brinmoor.App
import Brinmoor.Sheets
import Brinmoor.Window

// Resolves the theme for everything below it and shows the first-run onboarding until it is
// finished once, the main window afterwards. The theme follows AppModel.themePreference; "system"
// follows the desktop's colour scheme. Theme changes animate over 0.3 s (see Theme).
Item {
    id: root

    readonly property bool resolvedDark: ThemeSupport.resolveDark(AppModel.themePreference, ThemeSupport.systemDark)

    Binding {
        target: Theme
        property: "dark"
        value: root.resolvedDark
    }

    Loader {
        anchors.fill: parent
        sourceComponent: AppModel.showOnboarding ? onboarding : mainWindow
    }
    Component {
        id: onboarding
        OnboardingView {}
    }
    // The main window, loaded by address so that the plain view stands in for it while it
    // cannot be loaded (it is still being built).
    Component {
        id: mainWindow
        Item {
            Loader {
                id: full
                anchors.fill: parent
                source: "qrc:/Brinmoor/Window/MainWindowView.qml"
            }
            Loader {
                anchors.fill: parent
                active: full.status === Loader.Error || full.status === Loader.Null
                sourceComponent: PlainMainView {}
            }
        }
    }
}
