#pragma once

#include "Models.h"
#include "ProviderDetection.h"
#include "SessionListModel.h"
#include "Store.h"
#include "WorkspaceListModel.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QVariant>
#include <QtQml/qqmlregistration.h>

#include <functional>
#include <optional>

class QJSEngine;
class QProcess;
class QQmlEngine;
class QSettings;
class QTimer;

namespace brinmoor {

// The single observable model of the application. Views read its properties and call its
// operations; every structural change goes through it and ends with a synchronous save of the
// whole snapshot (workspaces, selection, recents). Runtime-only changes (a chat pane's state,
// stop, restart, focus, maximize, drag, sheets, previews, theme) are never saved.
//
// In QML it is the singleton `AppModel` of Brinmoor.App. Ids cross into QML as upper-case UUID
// text; the empty text stands for "none".
class AppModel : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

    Q_PROPERTY(brinmoor::WorkspaceListModel* workspaces READ workspaceModel CONSTANT)
    Q_PROPERTY(brinmoor::SessionListModel* selectedSessions READ selectedSessions NOTIFY selectedSessionsChanged)
    Q_PROPERTY(QVariant selectedWorkspace READ selectedWorkspaceVariant NOTIFY selectedWorkspaceChanged)
    Q_PROPERTY(QString selectedWorkspaceID READ selectedWorkspaceIDText NOTIFY selectedWorkspaceIDChanged)
    Q_PROPERTY(int selectedWorkspaceIndex READ selectedWorkspaceIndexValue NOTIFY selectedWorkspaceChanged)
    Q_PROPERTY(QString maximizedSessionID READ maximizedSessionIDText WRITE setMaximizedSessionIDText NOTIFY maximizedSessionIDChanged)
    Q_PROPERTY(QString focusedSessionID READ focusedSessionIDText NOTIFY focusedSessionIDChanged)
    Q_PROPERTY(QString draggingSessionID READ draggingSessionIDText NOTIFY draggingSessionIDChanged)
    Q_PROPERTY(QVariant dropTarget READ dropTargetVariant WRITE setDropTargetVariant NOTIFY dropTargetChanged)
    Q_PROPERTY(bool isFullscreen READ isFullscreen WRITE setIsFullscreen NOTIFY isFullscreenChanged)
    Q_PROPERTY(QString activeSheet READ activeSheetText WRITE setActiveSheetText NOTIFY activeSheetChanged)
    Q_PROPERTY(QVariant markdownPreview READ markdownPreviewVariant WRITE setMarkdownPreviewVariant NOTIFY markdownPreviewChanged)
    Q_PROPERTY(QVariant codePreview READ codePreviewVariant WRITE setCodePreviewVariant NOTIFY codePreviewChanged)
    Q_PROPERTY(bool showOnboarding READ showOnboarding NOTIFY showOnboardingChanged)
    Q_PROPERTY(bool sidebarCollapsed READ sidebarCollapsed WRITE setSidebarCollapsed NOTIFY sidebarCollapsedChanged)
    Q_PROPERTY(QString themePreference READ themePreferenceText WRITE setThemePreferenceText NOTIFY themePreferenceChanged)
    Q_PROPERTY(QVariant claude READ claudeVariant NOTIFY claudeChanged)
    Q_PROPERTY(QVariant codex READ codexVariant NOTIFY codexChanged)
    Q_PROPERTY(QStringList recents READ recents NOTIFY recentsChanged)
    Q_PROPERTY(bool codexLoggingIn READ codexLoggingIn NOTIFY codexLoggingInChanged)
    Q_PROPERTY(bool claudeLoggingIn READ claudeLoggingIn NOTIFY claudeLoggingInChanged)
    // A detection of the tool is under way (the record shown is the previous one meanwhile).
    Q_PROPERTY(bool claudeDetecting READ claudeDetecting NOTIFY detectingChanged)
    Q_PROPERTY(bool codexDetecting READ codexDetecting NOTIFY detectingChanged)
    // Why the last browser login could not start the tool ("" when it did, or none was tried).
    Q_PROPERTY(QString codexLoginProblem READ codexLoginProblem NOTIFY loginProblemChanged)
    Q_PROPERTY(QString claudeLoginProblem READ claudeLoginProblem NOTIFY loginProblemChanged)
    // What the start-up load of the saved state left out and where the original file went; ""
    // when it loaded whole or once the user dismissed it.
    Q_PROPERTY(QString startupNotice READ startupNotice NOTIFY startupNoticeChanged)
    // Why the last save failed, as a sentence for the window; "" once a save succeeds.
    Q_PROPERTY(QString saveFailure READ saveFailure NOTIFY saveFailureChanged)
    // The longest name (workspace, pane) the saved state holds: name fields stop there.
    Q_PROPERTY(int maxNameLength READ maxNameLength CONSTANT)

public:
    // Start-up with this build's saved state and user defaults. (No default argument on
    // purpose: Qt 6.4 would construct a default-constructible singleton itself instead of
    // asking create() for the shared instance.)
    explicit AppModel(QObject* parent);
    // Start-up with an explicit store and defaults (the defaults object must outlive the model).
    AppModel(Store store, QSettings* defaults, QObject* parent = nullptr);
    ~AppModel() override;

    // The QML singleton: the instance handed to setInstance(), else one made on first use.
    static AppModel* instance();
    static void setInstance(AppModel* model);
    static AppModel* create(QQmlEngine*, QJSEngine*);

    // --- Published state (C++) ---
    const QList<Workspace>& workspaces() const { return m_workspaces; }
    std::optional<QUuid> selectedWorkspaceID() const { return m_selectedWorkspaceID; }
    std::optional<int> selectedWorkspaceIndex() const;
    std::optional<QUuid> maximizedSessionID() const { return m_maximizedSessionID; }
    std::optional<QUuid> focusedSessionID() const { return m_focusedSessionID; }
    std::optional<QUuid> draggingSessionID() const { return m_draggingSessionID; }
    std::optional<DropTarget> dropTarget() const { return m_dropTarget; }
    bool isFullscreen() const { return m_isFullscreen; }
    std::optional<ActiveSheet> activeSheet() const { return m_activeSheet; }
    std::optional<MarkdownDoc> markdownPreview() const { return m_markdownPreview; }
    std::optional<CodePreview> codePreview() const { return m_codePreview; }
    bool showOnboarding() const { return m_showOnboarding; }
    bool sidebarCollapsed() const { return m_sidebarCollapsed; }
    ThemePreference themePreference() const { return m_themePreference; }
    std::optional<ClaudeInfo> claude() const { return m_claude; }
    std::optional<ProviderInfo> codex() const { return m_codex; }
    QStringList recents() const { return m_recents; }
    bool codexLoggingIn() const { return m_codexLoggingIn; }
    bool claudeLoggingIn() const { return m_claudeLoggingIn; }
    bool claudeDetecting() const { return m_claudeDetections > 0; }
    bool codexDetecting() const { return m_codexDetections > 0; }
    QString codexLoginProblem() const { return m_codexLoginProblem; }
    QString claudeLoginProblem() const { return m_claudeLoginProblem; }
    QString startupNotice() const { return m_startupNotice; }
    Q_INVOKABLE void dismissStartupNotice();
    QString saveFailure() const { return m_saveFailure; }
    static int maxNameLength() { return int(Store::maxNameLength); }
    // Something saved changed since the last successful write.
    bool hasUnsavedChanges() const { return m_unsaved; }
    // At quit: writes what is unsaved once more; true when nothing is left unsaved. When it is
    // false the window asks before quitting, with unsavedChangesText().
    Q_INVOKABLE bool saveBeforeQuit();
    // What cannot be saved, where and why, as the quit prompt says it; "" when all is saved.
    Q_INVOKABLE QString unsavedChangesText() const;

    // After a failed save the state is written again after this delay, doubled after each
    // further failure up to the maximum, until a write succeeds. Only tests change them.
    static inline int saveRetryMs = 1000;
    static inline int saveRetryMaxMs = 30000;

    // Fields that views set directly.
    void setMaximizedSessionID(std::optional<QUuid> id);
    void setDropTarget(std::optional<DropTarget> target);
    void setIsFullscreen(bool on);
    void setActiveSheet(std::optional<ActiveSheet> sheet);
    void setMarkdownPreview(std::optional<MarkdownDoc> doc);
    void setCodePreview(std::optional<CodePreview> preview);
    void setSidebarCollapsed(bool on);
    void setThemePreference(ThemePreference pref);

    // A copy of the first session with this id (workspaces and sessions in order).
    std::optional<Session> session(const QUuid& id) const;
    Q_INVOKABLE QVariant session(const QString& id) const;
    // The snapshot that save() writes.
    Store::Snapshot snapshot() const;

    // --- Session operations ---
    bool addSession(PaneKind kind, const std::optional<QString>& project, const QString& directory,
                    bool autoApprove, ChatProvider provider);
    void close(const QUuid& id);
    void stop(const QUuid& id);
    void restart(const QUuid& id);
    void approve(const QUuid& id);
    void deny(const QUuid& id);
    void toggleMute(const QUuid& id);
    void rename(const QUuid& id, const QString& name);
    void resumeChat(const QUuid& id, const QString& sessionId);
    void setAutoCompact(const QUuid& id, bool on);
    void focusPane(const QUuid& id);
    void blurPane(const QUuid& id);
    void toggleMaximize(const QUuid& id);
    void revealInFinder(const QUuid& id);
    void openInVSCode(const QUuid& id);

    // --- Workspaces, grid settings, drag, recents, onboarding ---
    Q_INVOKABLE bool addWorkspace(const QString& name, const QString& colorHex);
    void selectWorkspace(const QUuid& id);
    void renameWorkspace(const QUuid& id, const QString& name);
    void setWorkspaceColor(const QUuid& id, const QString& colorHex);
    void deleteWorkspace(const QUuid& id);
    void setGridLayout(std::optional<int> columns, int maxRows);
    void setGridLayout(int columns, int maxRows) { setGridLayout(std::optional<int>(columns), maxRows); }
    Q_INVOKABLE void setBigSide(bool left);
    void beginDrag(const QUuid& id);
    Q_INVOKABLE void endDrag();
    void swapSessions(const QUuid& a, const QUuid& b);
    Q_INVOKABLE void rememberRecent(const QString& directory);
    Q_INVOKABLE void finishOnboarding();

    // --- Provider tools ---
    // Detection off the GUI thread; `done` runs on the GUI thread after the field is stored.
    void detectClaude(std::function<void()> done);
    void detectCodex(std::function<void()> done);
    Q_INVOKABLE void detectClaude() { detectClaude({}); }
    Q_INVOKABLE void detectCodex() { detectCodex({}); }
    void login(ChatProvider provider);
    Q_INVOKABLE void login(const QString& provider);
    // Ends a browser login still waiting (its process and what that started, a sign-in given up in
    // the browser never ends by itself), clears the flag and detects the tool again; another login
    // may start at once. Nothing when none runs.
    void cancelLogin(ChatProvider provider);
    Q_INVOKABLE void cancelLogin(const QString& provider);

    // Writes the snapshot now (views call it right after toggleMute, rename, resumeChat and
    // setAutoCompact). A failed write leaves the state unsaved: it is written again with the next
    // change, after a back-off, and at quit, until a write succeeds.
    Q_INVOKABLE void save();

    // --- The same operations for QML, with ids as text ---
    Q_INVOKABLE bool addSession(const QString& kind, const QVariant& project, const QString& directory,
                                bool autoApprove, const QString& provider);
    Q_INVOKABLE void close(const QString& id);
    Q_INVOKABLE void stop(const QString& id);
    Q_INVOKABLE void restart(const QString& id);
    Q_INVOKABLE void approve(const QString& id);
    Q_INVOKABLE void deny(const QString& id);
    Q_INVOKABLE void toggleMute(const QString& id);
    Q_INVOKABLE void rename(const QString& id, const QString& name);
    Q_INVOKABLE void resumeChat(const QString& id, const QString& sessionId);
    Q_INVOKABLE void setAutoCompact(const QString& id, bool on);
    Q_INVOKABLE void focusPane(const QString& id);
    Q_INVOKABLE void blurPane(const QString& id);
    Q_INVOKABLE void toggleMaximize(const QString& id);
    Q_INVOKABLE void revealInFinder(const QString& id);
    Q_INVOKABLE void openInVSCode(const QString& id);
    Q_INVOKABLE void selectWorkspace(const QString& id);
    Q_INVOKABLE void renameWorkspace(const QString& id, const QString& name);
    Q_INVOKABLE void setWorkspaceColor(const QString& id, const QString& colorHex);
    Q_INVOKABLE void deleteWorkspace(const QString& id);
    // `columns` null or undefined means automatic.
    Q_INVOKABLE void setGridLayout(const QVariant& columns, int maxRows);
    Q_INVOKABLE void beginDrag(const QString& id);
    Q_INVOKABLE void swapSessions(const QString& a, const QString& b);
    // Drop targets for the grid's drop areas.
    Q_INVOKABLE void setSwapTarget(const QString& sessionID);
    Q_INVOKABLE void setSideTarget(bool leading);
    Q_INVOKABLE void clearDropTarget() { setDropTarget(std::nullopt); }
    // Opens the code preview overlay.
    Q_INVOKABLE void showCodePreview(const QString& title, const QString& content, bool isMarkdown, bool isDiff,
                                     const QString& note = {});

    // --- QML property accessors ---
    WorkspaceListModel* workspaceModel() const { return m_workspaceModel; }
    SessionListModel* selectedSessions() const;
    QVariant selectedWorkspaceVariant() const;
    QString selectedWorkspaceIDText() const;
    int selectedWorkspaceIndexValue() const { return selectedWorkspaceIndex().value_or(-1); }
    QString maximizedSessionIDText() const;
    void setMaximizedSessionIDText(const QString& id);
    QString focusedSessionIDText() const;
    QString draggingSessionIDText() const;
    QVariant dropTargetVariant() const;
    void setDropTargetVariant(const QVariant& v);
    QString activeSheetText() const;
    void setActiveSheetText(const QString& name);
    QVariant markdownPreviewVariant() const;
    void setMarkdownPreviewVariant(const QVariant& v);
    QVariant codePreviewVariant() const;
    void setCodePreviewVariant(const QVariant& v);
    QString themePreferenceText() const { return rawValue(m_themePreference); }
    void setThemePreferenceText(const QString& raw);
    QVariant claudeVariant() const;
    QVariant codexVariant() const;

signals:
    // Any change of `workspaces` (a session's fields included).
    void workspacesChanged();
    void selectedSessionsChanged();
    // The selected workspace changed, or one of its own fields did.
    void selectedWorkspaceChanged();
    void selectedWorkspaceIDChanged();
    void maximizedSessionIDChanged();
    void focusedSessionIDChanged();
    void draggingSessionIDChanged();
    void dropTargetChanged();
    void isFullscreenChanged();
    void activeSheetChanged();
    void markdownPreviewChanged();
    void codePreviewChanged();
    void showOnboardingChanged();
    void sidebarCollapsedChanged();
    void themePreferenceChanged();
    void claudeChanged();
    void codexChanged();
    void recentsChanged();
    void codexLoggingInChanged();
    void claudeLoggingInChanged();
    void detectingChanged();
    void loginProblemChanged();
    void startupNoticeChanged();
    void saveFailureChanged();
    // The snapshot was just written (or a write was attempted); the model already says which.
    void stateSaved();
    // A command of the pane `sessionID`'s menu (Open in VS Code) could not do what was asked:
    // `why`, as a sentence, for the pane to show where it was asked.
    void paneCommandFailed(const QString& sessionID, const QString& why);

private:
    void startUp();
    // Writes the snapshot; on failure keeps the state unsaved and arms the retry.
    void writeState();
    void saveIfUnsaved();
    void markUnsaved() { m_unsaved = true; }
    void setSaveFailure(const QString& text);
    void installHooks();
    void terminateRuntime(const QUuid& id);
    // Applies `change` to the first session with this id; never saves by itself.
    bool mutateSession(const QUuid& id, const std::function<void(Session&)>& change);
    // Pushes the records to the list models and emits the change signals.
    void workspacesEdited();
    void setSelectedWorkspaceID(std::optional<QUuid> id);
    void setFocusedSessionID(std::optional<QUuid> id);
    void setDraggingSessionID(std::optional<QUuid> id);
    void setShowOnboarding(bool on);
    void setRecents(const QStringList& recents);
    void setLoggingIn(ChatProvider provider, bool on);
    void setLoginProblem(ChatProvider provider, const QString& problem);
    // Runs `commandLine` through the login shell; `followUp` gets why the tool could not be
    // started ("" when it ran).
    QProcess* runLogin(const QString& commandLine, const QString& tool, std::function<void(QString)> followUp);
    // Ends every login still running, with its process group; their follow-ups no longer run.
    void endLogins();
    // Ends one login with its process group; its follow-up no longer runs.
    void endLogin(QProcess* login);

    Store m_store;
    QSettings* m_defaults = nullptr;

    QList<Workspace> m_workspaces;
    std::optional<QUuid> m_selectedWorkspaceID;
    std::optional<QUuid> m_maximizedSessionID;
    std::optional<QUuid> m_focusedSessionID;
    std::optional<QUuid> m_draggingSessionID;
    std::optional<DropTarget> m_dropTarget;
    bool m_isFullscreen = false;
    std::optional<ActiveSheet> m_activeSheet;
    std::optional<MarkdownDoc> m_markdownPreview;
    std::optional<CodePreview> m_codePreview;
    bool m_showOnboarding = false;
    bool m_sidebarCollapsed = false;
    ThemePreference m_themePreference = ThemePreference::Dark;
    std::optional<ClaudeInfo> m_claude;
    std::optional<ProviderInfo> m_codex;
    QStringList m_recents;
    bool m_codexLoggingIn = false;
    bool m_claudeLoggingIn = false;
    int m_claudeDetections = 0;  // detections started and not ended
    int m_codexDetections = 0;
    // The login each provider runs, and a count of its logins: a login's follow-up clears the flag
    // only while no later one (or a cancel) came since.
    QPointer<QProcess> m_codexLogin, m_claudeLogin;
    quint64 m_codexLoginRound = 0, m_claudeLoginRound = 0;
    QString m_codexLoginProblem;
    QString m_claudeLoginProblem;
    QString m_startupNotice;
    QString m_saveFailure;
    QString m_saveError;  // the system's reason for the last failed write
    bool m_unsaved = false;
    QTimer* m_saveRetry = nullptr;
    int m_saveRetryDelay = 0;

    WorkspaceListModel* m_workspaceModel = nullptr;
    SessionListModel* m_lastSelectedSessions = nullptr;
};

// `s` without the characters at its ends for which `blank` holds.
QString trimEnds(const QString& s, bool (*blank)(QChar));
// `s` without spaces (any Unicode space separator) and tabs at its ends; line breaks stay.
QString trimSpacesAndTabs(const QString& s);

// "~" or "~/..." with the user's home folder in place of the tilde.
QString expandTilde(const QString& path);

} // namespace brinmoor
