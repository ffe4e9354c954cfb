import QtQuick

// The status of the Codex tool (see ProviderStatusCard).
ProviderStatusCard {
    provider: "codex"
}
