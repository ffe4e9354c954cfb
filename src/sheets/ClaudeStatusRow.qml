import QtQuick
import Brinmoor.Sheets

// The status of the Claude Code tool (see ProviderStatusCard).
ProviderStatusCard {
    provider: "claude"
}
