import QtQuick

// The status of the Claude Code tool (see ProviderStatusCard).
ProviderStatusCard {
    provider: "claude"
}
