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
    Component {
        id: mainWindow
        MainWindowView {}
    }
}
