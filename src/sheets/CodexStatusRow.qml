import QtQuick
import Brinmoor.Sheets

// The status of the Codex tool (see ProviderStatusCard).
ProviderStatusCard {
    provider: "codex"
}
