#pragma once

// The plain value records every part of the application shares: workspaces with their ordered
// sessions, the states and kinds of a pane, the chat provider, markdown documents, drop targets,
// sheets and the theme choice. They are copied in and out of AppModel; only AppModel's operations
// change the copies it holds. Each enumeration keeps its saved/compared raw text.

#include <QList>
#include <QMetaType>
#include <QObject>
#include <QString>
#include <QUuid>
#include <QVariant>
#include <QtQml/qqmlregistration.h>

#include <optional>

namespace brinmoor {

Q_NAMESPACE
QML_NAMED_ELEMENT(Records)

// State of a pane, as every state indicator shows it.
enum class PaneState {
    Running,   // its runtime was (re)started by the user, or its chat session is working
    Idle,      // just added, or loaded from the saved state
    Awaiting,  // its chat session waits for the user (a permission request or a question)
    Error,     // the shell exited with a non-zero code, or the chat session failed
    Stopped,   // the shell exited with 0 or without a code, or the user stopped the pane
};
Q_ENUM_NS(PaneState)

// What a pane shows.
enum class PaneKind {
    Terminal,  // the user's login shell on a pseudo-terminal
    Chat,      // a conversation with a coding agent through a sidecar
};
Q_ENUM_NS(PaneKind)

// Which agent a chat pane talks to.
enum class ChatProvider {
    Claude,  // Claude through the Agent SDK sidecar
    Codex,   // the OpenAI Codex tool
};
Q_ENUM_NS(ChatProvider)

// The user's theme choice; only the session's memory holds it.
enum class ThemePreference {
    System,  // follow the desktop's colour scheme
    Dark,    // always dark
    Light,   // always light
};
Q_ENUM_NS(ThemePreference)

// Which modal sheet is up.
enum class ActiveSheet {
    AddSession,    // the add-session sheet
    NewWorkspace,  // the new-workspace sheet
};
Q_ENUM_NS(ActiveSheet)

// Raw texts, exactly as saved and compared.
QString rawValue(PaneState s);
QString rawValue(PaneKind k);
QString rawValue(ChatProvider p);
QString rawValue(ThemePreference t);
std::optional<PaneState> paneStateFromRaw(const QString& raw);
std::optional<PaneKind> paneKindFromRaw(const QString& raw);
std::optional<ChatProvider> chatProviderFromRaw(const QString& raw);
std::optional<ThemePreference> themePreferenceFromRaw(const QString& raw);
// All pane states in declaration order.
QList<PaneState> allPaneStates();

// "addSession" / "newWorkspace": the names QML uses for the open sheet.
QString sheetName(ActiveSheet s);
std::optional<ActiveSheet> sheetFromName(const QString& name);
// The identity of a sheet: a hash stable for the life of the process.
size_t sheetIdentity(ActiveSheet s);

// The standard UUID text: 36 characters, upper case, no braces.
QString uuidText(const QUuid& id);
// Parses exactly the 8-4-4-4-12 form (either case); braces or any other shape give none.
std::optional<QUuid> uuidFromText(const QString& text);

// A markdown document shown beside a terminal pane.
struct MarkdownDoc {
    Q_GADGET
    QML_VALUE_TYPE(markdownDoc)
    Q_PROPERTY(QString id READ idText)
    Q_PROPERTY(QString fileName MEMBER fileName)
    Q_PROPERTY(QString markdown MEMBER markdown)
public:
    QUuid id = QUuid::createUuid();
    QString fileName;
    QString markdown;

    QString idText() const { return uuidText(id); }
    friend bool operator==(const MarkdownDoc&, const MarkdownDoc&) = default;
};

// Code or markdown shown enlarged in the code preview overlay.
struct CodePreview {
    Q_GADGET
    QML_VALUE_TYPE(codePreview)
    Q_PROPERTY(QString id READ idText)
    Q_PROPERTY(QString title MEMBER title)
    Q_PROPERTY(QString content MEMBER content)
    Q_PROPERTY(bool isMarkdown MEMBER isMarkdown)
    Q_PROPERTY(bool isDiff MEMBER isDiff)
    Q_PROPERTY(QString note MEMBER note)
public:
    QUuid id = QUuid::createUuid();
    QString title;
    QString content;
    bool isMarkdown = false;
    bool isDiff = false;
    // The content is only the start of a longer text: what part it is, shown above it; empty
    // when it is whole.
    QString note;

    QString idText() const { return uuidText(id); }
    friend bool operator==(const CodePreview&, const CodePreview&) = default;
};

// Where a dragged pane would land: change places with a pane, or move to a side strip.
struct DropTarget {
    Q_GADGET
    QML_VALUE_TYPE(dropTargetValue)
    Q_PROPERTY(bool isSwap READ isSwap)
    Q_PROPERTY(bool isSide READ isSide)
    Q_PROPERTY(QString sessionID READ sessionIDText)
    Q_PROPERTY(bool leading READ isLeading)
public:
    enum class Kind { Swap, Side };

    static DropTarget swap(const QUuid& id) { return DropTarget{Kind::Swap, id, false}; }
    static DropTarget side(bool leading) { return DropTarget{Kind::Side, QUuid(), leading}; }

    Kind kind = Kind::Swap;
    QUuid sessionID;       // the pane it would swap with (swap only)
    bool leading = false;  // left (true) or right (false) strip (side only)

    bool isSwap() const { return kind == Kind::Swap; }
    bool isSide() const { return kind == Kind::Side; }
    bool isLeading() const { return kind == Kind::Side && leading; }
    QString sessionIDText() const { return kind == Kind::Swap ? uuidText(sessionID) : QString(); }

    // Same case and same payload.
    friend bool operator==(const DropTarget& a, const DropTarget& b)
    {
        if (a.kind != b.kind)
            return false;
        return a.kind == Kind::Swap ? a.sessionID == b.sessionID : a.leading == b.leading;
    }
};

// A chat conversation's last reported figures, which its pane's header and context gauge show:
// saved with the pane, so that after a restart they are there until the agent reports new ones.
struct ChatFigures {
    double costUsd = 0;
    qint64 tokensIn = 0;
    qint64 tokensOut = 0;
    qint64 contextTokens = 0;
    qint64 contextWindow = 0;  // 0 when not reported

    bool isEmpty() const { return costUsd == 0 && tokensIn == 0 && tokensOut == 0 && contextTokens == 0; }
    friend bool operator==(const ChatFigures&, const ChatFigures&) = default;
};

// One pane of a workspace. Identified by `id`; deliberately without equality.
struct Session {
    Q_GADGET
    QML_VALUE_TYPE(sessionRecord)
    Q_PROPERTY(QString id READ idText)
    Q_PROPERTY(QString kind READ kindText)
    Q_PROPERTY(QString project MEMBER project)
    Q_PROPERTY(QString sessionLabel MEMBER sessionLabel)
    Q_PROPERTY(QString directory MEMBER directory)
    Q_PROPERTY(QString state READ stateText)
    Q_PROPERTY(bool autoApprove MEMBER autoApprove)
    Q_PROPERTY(bool autoCompact MEMBER autoCompact)
    Q_PROPERTY(QString cost MEMBER cost)
    Q_PROPERTY(QString groupID READ groupIDText)
    Q_PROPERTY(bool muted MEMBER muted)
    Q_PROPERTY(bool hasDoc READ hasDoc)
    Q_PROPERTY(QVariant doc READ docVariant)
    Q_PROPERTY(QString provider READ providerText)
    Q_PROPERTY(QString claudeSessionId READ claudeSessionIdText)
public:
    QUuid id;
    PaneKind kind = PaneKind::Terminal;
    QString project;
    QString sessionLabel;
    QString directory;  // may begin with "~"; operations that open it expand the tilde
    PaneState state = PaneState::Idle;
    bool autoApprove = false;
    bool autoCompact = true;
    QString cost;
    std::optional<QString> groupID;
    bool muted = false;
    std::optional<MarkdownDoc> doc;
    ChatProvider provider = ChatProvider::Claude;
    std::optional<QString> claudeSessionId;  // the provider's conversation id, for either provider
    ChatFigures figures;                     // that conversation's last figures (chat panes)

    QString idText() const { return uuidText(id); }
    QString kindText() const { return rawValue(kind); }
    QString stateText() const { return rawValue(state); }
    QString providerText() const { return rawValue(provider); }
    QString groupIDText() const { return groupID.value_or(QString()); }
    QString claudeSessionIdText() const { return claudeSessionId.value_or(QString()); }
    bool hasDoc() const { return doc.has_value(); }
    // The markdown document (markdownDoc), or null.
    QVariant docVariant() const;

    // True when every field a view shows or the state file keeps is the same (the list models
    // use it to skip redundant change signals).
    bool sameContent(const Session& other) const;
};

// A named, coloured, ordered set of sessions shown as one grid. Deliberately without equality.
struct Workspace {
    Q_GADGET
    QML_VALUE_TYPE(workspaceRecord)
    Q_PROPERTY(QString id READ idText)
    Q_PROPERTY(QString name MEMBER name)
    Q_PROPERTY(QString colorHex MEMBER colorHex)
    Q_PROPERTY(int forcedColumns READ forcedColumnsValue)
    Q_PROPERTY(int maxRows MEMBER maxRows)
    Q_PROPERTY(bool bigSideLeft MEMBER bigSideLeft)
public:
    QUuid id;
    QString name;
    QString colorHex;
    QList<Session> sessions;
    std::optional<int> forcedColumns;  // none: the column count follows the window's shape
    int maxRows = 4;                   // 1 to 4
    bool bigSideLeft = false;

    QString idText() const { return uuidText(id); }
    // 0 stands for "automatic" in QML.
    int forcedColumnsValue() const { return forcedColumns.value_or(0); }
};

} // namespace brinmoor

Q_DECLARE_METATYPE(brinmoor::Session)
Q_DECLARE_METATYPE(brinmoor::Workspace)
Q_DECLARE_METATYPE(brinmoor::MarkdownDoc)
Q_DECLARE_METATYPE(brinmoor::CodePreview)
Q_DECLARE_METATYPE(brinmoor::DropTarget)
