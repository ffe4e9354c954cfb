#include "AppModel.h"

#include "HiddenCharacters.h"

#include "AppInfo.h"
#include "Assets.h"
#include "ChatHost.h"
#include "ChildProcess.h"
#include "ProjectColorRegistry.h"
#include "ReadThreads.h"
#include "TerminalHost.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QQmlEngine>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>

#include <cstdio>

#include <signal.h>
#include <unistd.h>

namespace brinmoor {

namespace {

AppModel*& sharedInstance()
{
    static AppModel* model = nullptr;
    return model;
}

std::optional<QUuid> idFromText(const QString& text)
{
    return uuidFromText(text);
}

QString optionalIdText(const std::optional<QUuid>& id)
{
    return id ? uuidText(*id) : QString();
}

QString lastPathComponent(const QString& path)
{
    QString p = path;
    while (p.size() > 1 && p.endsWith(QLatin1Char('/')))
        p.chop(1);
    const qsizetype slash = p.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? p : (p == QLatin1String("/") ? p : p.mid(slash + 1));
}

// Whether a conversation id can be kept for resuming: one the next start would drop (not an id a
// provider gives) is refused where it enters, with the reason in the log.
bool acceptsConversationId(const QString& id)
{
    if (Store::isConversationId(id))
        return true;
    std::fprintf(stderr, "brinmoor: a conversation id of %lld characters is not one; the pane will not resume it\n",
                 static_cast<long long>(id.size()));
    return false;
}

// The pane is in the conversation `id` now, announced by its agent or chosen from the history:
// figures kept for another conversation are not this one's.
void takeConversation(Session& s, const QString& id)
{
    if (s.claudeSessionId != id)
        s.figures = {};
    s.claudeSessionId = id;
}

} // namespace

QString trimEnds(const QString& s, bool (*blank)(QChar))
{
    qsizetype b = 0, e = s.size();
    while (b < e && blank(s.at(b)))
        ++b;
    while (e > b && blank(s.at(e - 1)))
        --e;
    return s.mid(b, e - b);
}

QString trimSpacesAndTabs(const QString& s)
{
    // Spaces (any Unicode space separator) and tabs; line breaks are kept.
    return trimEnds(s, [](QChar c) { return c == QLatin1Char('\t') || c.category() == QChar::Separator_Space; });
}

QString expandTilde(const QString& path)
{
    if (path == QLatin1String("~"))
        return QDir::homePath();
    if (path.startsWith(QLatin1String("~/")))
        return QDir::homePath() + path.mid(1);
    return path;
}

// --- Start-up ------------------------------------------------------------------------------

AppModel::AppModel(QObject* parent) : AppModel(Store::forThisBuild(), &AppInfo::defaults(), parent) {}

AppModel::AppModel(Store store, QSettings* defaults, QObject* parent)
    : QObject(parent), m_store(std::move(store)), m_defaults(defaults)
{
    m_workspaceModel = new WorkspaceListModel(this);
    m_saveRetry = new QTimer(this);
    m_saveRetry->setSingleShot(true);
    connect(m_saveRetry, &QTimer::timeout, this, &AppModel::saveIfUnsaved);
    // What a failed save left unwritten gets one more try on the way out.
    if (auto* app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &AppModel::saveIfUnsaved);
    startUp();
}

AppModel::~AppModel()
{
    saveIfUnsaved();
    // A login still running ends with the model (the window that started it has gone).
    endLogins();
    if (sharedInstance() == this)
        sharedInstance() = nullptr;
}

AppModel* AppModel::instance()
{
    if (!sharedInstance())
        sharedInstance() = new AppModel(QCoreApplication::instance());
    return sharedInstance();
}

void AppModel::setInstance(AppModel* model)
{
    sharedInstance() = model;
}

AppModel* AppModel::create(QQmlEngine*, QJSEngine*)
{
    AppModel* model = instance();
    QQmlEngine::setObjectOwnership(model, QQmlEngine::CppOwnership);
    return model;
}

void AppModel::startUp()
{
    const std::optional<Store::Snapshot> snap = m_store.load();
    m_startupNotice = m_store.lastLoad().notice();
    if (snap) {
        m_workspaces = snap->workspaces;
        m_recents = snap->recents;
    }
    // A saved selection is taken unchanged, even when no workspace has that id.
    if (snap && snap->selected)
        m_selectedWorkspaceID = snap->selected;
    else if (!m_workspaces.isEmpty())
        m_selectedWorkspaceID = m_workspaces.first().id;

    // Colour order follows the saved order: workspace by workspace, session by session.
    for (const Workspace& w : std::as_const(m_workspaces))
        for (const Session& s : w.sessions)
            ProjectColorRegistry::shared().index(s.directory);

    m_showOnboarding = m_workspaces.isEmpty() && !(m_defaults && m_defaults->value(QLatin1String(AppInfo::onboardedKey), false).toBool());

    m_workspaceModel->sync(m_workspaces);
    m_lastSelectedSessions = selectedSessions();
    installHooks();
}

void AppModel::dismissStartupNotice()
{
    if (m_startupNotice.isEmpty())
        return;
    m_startupNotice.clear();
    emit startupNoticeChanged();
}

void AppModel::installHooks()
{
    QPointer<AppModel> self(this);
    TerminalHost::shared().onTerminated = [self](const QUuid& id, std::optional<int32_t> code) {
        if (!self)
            return;
        self->mutateSession(id, [&](Session& s) {
            s.state = (code && *code != 0) ? PaneState::Error : PaneState::Stopped;
            s.cost.clear();
        });
        self->save();  // also when no session had the id
    };
    ChatHost::shared().onState = [self](const QUuid& id, PaneState state) {
        if (!self)
            return;
        self->mutateSession(id, [&](Session& s) { s.state = state; });
        if (state == PaneState::Awaiting) {
            const auto s = self->session(id);
            if (s && !s->muted)
                AlertSound::play();
        }
    };
    ChatHost::shared().onSessionId = [self](const QUuid& id, const QString& conversationID) {
        if (!self || !acceptsConversationId(conversationID))
            return;
        self->mutateSession(id, [&](Session& s) { takeConversation(s, conversationID); });
        self->save();
    };
    ChatHost::shared().onFigures = [self](const QUuid& id, const ChatFigures& figures) {
        if (!self)
            return;
        const auto s = self->session(id);
        // Figures a load would drop are not kept either (they only decorate the pane).
        if (!s || s->figures == figures || !Store::areSavableFigures(figures))
            return;
        self->mutateSession(id, [&](Session& rec) { rec.figures = figures; });
        self->save();
    };
}

// --- Lookups and bookkeeping ------------------------------------------------------------------

std::optional<Session> AppModel::session(const QUuid& id) const
{
    for (const Workspace& w : m_workspaces)
        for (const Session& s : w.sessions)
            if (s.id == id)
                return s;
    return std::nullopt;
}

QVariant AppModel::session(const QString& id) const
{
    const auto uuid = idFromText(id);
    const auto s = uuid ? session(*uuid) : std::nullopt;
    return s ? QVariant::fromValue(*s) : QVariant();
}

std::optional<int> AppModel::selectedWorkspaceIndex() const
{
    if (!m_selectedWorkspaceID)
        return std::nullopt;
    for (qsizetype i = 0; i < m_workspaces.size(); ++i)
        if (m_workspaces.at(i).id == *m_selectedWorkspaceID)
            return int(i);
    return std::nullopt;
}

bool AppModel::mutateSession(const QUuid& id, const std::function<void(Session&)>& change)
{
    for (Workspace& w : m_workspaces)
        for (Session& s : w.sessions)
            if (s.id == id) {
                change(s);
                workspacesEdited();
                return true;
            }
    return false;
}

void AppModel::workspacesEdited()
{
    m_workspaceModel->sync(m_workspaces);
    emit workspacesChanged();
    emit selectedWorkspaceChanged();
    SessionListModel* now = selectedSessions();
    if (now != m_lastSelectedSessions) {
        m_lastSelectedSessions = now;
        emit selectedSessionsChanged();
    }
}

Store::Snapshot AppModel::snapshot() const
{
    return Store::Snapshot{m_workspaces, m_selectedWorkspaceID, m_recents};
}

void AppModel::save()
{
    markUnsaved();
    writeState();
}

void AppModel::writeState()
{
    QString error;
    const bool written = m_store.save(snapshot(), &error);
    if (written) {
        m_unsaved = false;
        m_saveRetry->stop();
        m_saveRetryDelay = 0;
        setSaveFailure(QString());
        emit stateSaved();
        return;
    }
    // Nothing of the model is lost: it stays in memory, unsaved, and is written as soon as the
    // folder takes it again (next change, the back-off below, or quit).
    std::fprintf(stderr, "brinmoor: could not save %s: %s\n", qPrintable(m_store.filePath()), qPrintable(error));
    m_saveError = error;
    const QString folder = QFileInfo(m_store.filePath()).path();
    setSaveFailure(QStringLiteral("Changes can't be saved to %1: %2. Brinmoor keeps trying and saves them once it can.")
                       .arg(folder.isEmpty() ? QStringLiteral("the data folder") : HiddenCharacters::inSentence(folder), error));
    if (!m_saveRetry->isActive()) {
        m_saveRetryDelay = m_saveRetryDelay == 0 ? saveRetryMs : std::min(m_saveRetryDelay * 2, saveRetryMaxMs);
        m_saveRetry->start(m_saveRetryDelay);
    }
    emit stateSaved();
}

void AppModel::saveIfUnsaved()
{
    if (m_unsaved)
        writeState();
}

bool AppModel::saveBeforeQuit()
{
    saveIfUnsaved();
    return !m_unsaved;
}

QString AppModel::unsavedChangesText() const
{
    if (!m_unsaved)
        return QString();
    const QString folder = QFileInfo(m_store.filePath()).path();
    return QStringLiteral("Your latest changes to workspaces and panes could not be saved to %1: %2. If you quit now, they are lost.")
        .arg(folder.isEmpty() ? QStringLiteral("the data folder") : HiddenCharacters::inSentence(folder),
             m_saveError.isEmpty() ? QStringLiteral("the last try failed") : m_saveError);
}

void AppModel::setSaveFailure(const QString& text)
{
    if (m_saveFailure == text)
        return;
    m_saveFailure = text;
    emit saveFailureChanged();
}

// --- Setters of published fields ------------------------------------------------------------

void AppModel::setSelectedWorkspaceID(std::optional<QUuid> id)
{
    if (m_selectedWorkspaceID == id)
        return;
    m_selectedWorkspaceID = id;
    emit selectedWorkspaceIDChanged();
    emit selectedWorkspaceChanged();
    SessionListModel* now = selectedSessions();
    if (now != m_lastSelectedSessions) {
        m_lastSelectedSessions = now;
        emit selectedSessionsChanged();
    }
}

void AppModel::setMaximizedSessionID(std::optional<QUuid> id)
{
    if (m_maximizedSessionID == id)
        return;
    m_maximizedSessionID = id;
    emit maximizedSessionIDChanged();
}

void AppModel::setFocusedSessionID(std::optional<QUuid> id)
{
    if (m_focusedSessionID == id)
        return;
    m_focusedSessionID = id;
    emit focusedSessionIDChanged();
}

void AppModel::setDraggingSessionID(std::optional<QUuid> id)
{
    if (m_draggingSessionID == id)
        return;
    m_draggingSessionID = id;
    emit draggingSessionIDChanged();
}

void AppModel::setDropTarget(std::optional<DropTarget> target)
{
    if (m_dropTarget == target)
        return;
    m_dropTarget = target;
    emit dropTargetChanged();
}

void AppModel::setIsFullscreen(bool on)
{
    if (m_isFullscreen == on)
        return;
    m_isFullscreen = on;
    emit isFullscreenChanged();
}

void AppModel::setActiveSheet(std::optional<ActiveSheet> sheet)
{
    if (m_activeSheet == sheet)
        return;
    m_activeSheet = sheet;
    emit activeSheetChanged();
}

void AppModel::setMarkdownPreview(std::optional<MarkdownDoc> doc)
{
    if (m_markdownPreview == doc)
        return;
    m_markdownPreview = doc;
    emit markdownPreviewChanged();
}

void AppModel::setCodePreview(std::optional<CodePreview> preview)
{
    if (m_codePreview == preview)
        return;
    m_codePreview = preview;
    emit codePreviewChanged();
}

void AppModel::setShowOnboarding(bool on)
{
    if (m_showOnboarding == on)
        return;
    m_showOnboarding = on;
    emit showOnboardingChanged();
}

void AppModel::setSidebarCollapsed(bool on)
{
    if (m_sidebarCollapsed == on)
        return;
    m_sidebarCollapsed = on;
    emit sidebarCollapsedChanged();
}

void AppModel::setThemePreference(ThemePreference pref)
{
    if (m_themePreference == pref)
        return;
    m_themePreference = pref;
    emit themePreferenceChanged();
}

void AppModel::setRecents(const QStringList& recents)
{
    if (m_recents == recents)
        return;
    m_recents = recents;
    emit recentsChanged();
}

void AppModel::setLoggingIn(ChatProvider provider, bool on)
{
    bool& flag = provider == ChatProvider::Codex ? m_codexLoggingIn : m_claudeLoggingIn;
    if (flag == on)
        return;
    flag = on;
    if (provider == ChatProvider::Codex)
        emit codexLoggingInChanged();
    else
        emit claudeLoggingInChanged();
}

// --- Session operations ---------------------------------------------------------------------

void AppModel::terminateRuntime(const QUuid& id)
{
    // The terminal side ends the shell (exit report detached first, hang-up, SIGTERM, SIGKILL
    // after a grace period, reaped) and drops the view and delegate entries in one step, so the
    // ended shell's exit never reaches the terminal-exit hook.
    TerminalHost& terminals = TerminalHost::shared();
    if (terminals.views().contains(id))
        terminals.dropView(id);
    ChatHost& chats = ChatHost::shared();
    if (chats.sessions().contains(id))
        chats.stopSession(id);
}

bool AppModel::addSession(PaneKind kind, const std::optional<QString>& project, const QString& directory,
                          bool autoApprove, ChatProvider provider)
{
    const auto index = selectedWorkspaceIndex();
    if (!index)
        return false;
    // A longer path names no folder (the system's own limit is 4096 bytes), and a load would
    // skip the pane rather than run it in another folder.
    if (directory.size() > Store::maxPathLength)
        return false;
    Session s;
    s.id = QUuid::createUuid();
    s.kind = kind;
    s.project = Store::boundedName(project ? *project : lastPathComponent(directory));
    s.sessionLabel = QStringLiteral("session 1");
    s.directory = directory;
    s.state = PaneState::Idle;
    s.autoApprove = autoApprove;
    s.autoCompact = true;
    s.provider = provider;
    m_workspaces[*index].sessions.append(s);
    workspacesEdited();
    rememberRecent(directory);
    save();
    return true;
}

void AppModel::close(const QUuid& id)
{
    terminateRuntime(id);
    ChatHost::shared().dropPane(id);
    bool removed = false;
    for (Workspace& w : m_workspaces)
        removed |= w.sessions.removeIf([&](const Session& s) { return s.id == id; }) > 0;
    if (removed)
        workspacesEdited();
    if (m_maximizedSessionID == id)
        setMaximizedSessionID(std::nullopt);
    save();
}

void AppModel::stop(const QUuid& id)
{
    terminateRuntime(id);
    mutateSession(id, [](Session& s) {
        s.state = PaneState::Stopped;
        s.cost.clear();
    });
}

void AppModel::restart(const QUuid& id)
{
    terminateRuntime(id);
    mutateSession(id, [](Session& s) { s.state = PaneState::Running; });
    setMaximizedSessionID(std::nullopt);
}

void AppModel::approve(const QUuid& id)
{
    mutateSession(id, [](Session& s) { s.state = PaneState::Running; });
}

void AppModel::deny(const QUuid& id)
{
    mutateSession(id, [](Session& s) { s.state = PaneState::Running; });
}

// The four below change saved fields and leave the write to their callers; until then (or if
// that write fails) the state counts as unsaved, so quitting still writes it.
void AppModel::toggleMute(const QUuid& id)
{
    if (mutateSession(id, [](Session& s) { s.muted = !s.muted; }))
        markUnsaved();
}

void AppModel::rename(const QUuid& id, const QString& name)
{
    if (mutateSession(id, [&](Session& s) { s.project = Store::boundedName(name); }))
        markUnsaved();
}

void AppModel::resumeChat(const QUuid& id, const QString& sessionId)
{
    if (acceptsConversationId(sessionId) && mutateSession(id, [&](Session& s) { takeConversation(s, sessionId); }))
        markUnsaved();
}

void AppModel::setAutoCompact(const QUuid& id, bool on)
{
    if (mutateSession(id, [&](Session& s) { s.autoCompact = on; }))
        markUnsaved();
}

void AppModel::focusPane(const QUuid& id)
{
    setFocusedSessionID(id);
}

void AppModel::blurPane(const QUuid& id)
{
    // A focus that moves to another pane within the delay is not undone.
    QTimer::singleShot(80, this, [this, id] {
        if (m_focusedSessionID == id)
            setFocusedSessionID(std::nullopt);
    });
}

void AppModel::toggleMaximize(const QUuid& id)
{
    setMaximizedSessionID(m_maximizedSessionID == id ? std::nullopt : std::optional<QUuid>(id));
}

void AppModel::revealInFinder(const QUuid& id)
{
    const auto s = session(id);
    if (!s)
        return;
    QDesktopServices::openUrl(QUrl::fromLocalFile(expandTilde(s->directory)));
}

void AppModel::openInVSCode(const QUuid& id)
{
    const auto s = session(id);
    if (!s)
        return;
    const QString folder = expandTilde(s->directory);
#ifdef Q_OS_MACOS
    startDetached(QStringLiteral("/usr/bin/open"), {QStringLiteral("-a"), QStringLiteral("Visual Studio Code"), folder});
#else
    // The editor's command is looked up through the login shell, off the GUI thread; without
    // it the folder opens in the file manager. A look-up that gets no thread (the task limit
    // reached) looked for nothing: the pane says so, rather than acting as if there were no
    // editor. The outer optional is empty then.
    const QString sessionID = uuidText(id);
    runProbe<std::optional<std::optional<QString>>>(
        this, [] { return std::optional<std::optional<QString>>(LoginShell::resolve(QStringLiteral("command -v code"))); },
        [this, folder, sessionID](const std::optional<std::optional<QString>>& code) {
            if (!code) {
                emit paneCommandFailed(sessionID, QStringLiteral("VS Code could not be looked for: %1.").arg(ReadThreads::refusal()));
                return;
            }
            if (*code && startDetached(**code, {folder}))
                return;
            startDetached(QStringLiteral("xdg-open"), {folder});
        },
        [] { return std::optional<std::optional<QString>>(); });
#endif
}

// --- Workspaces, grid settings, drag, recents, onboarding -------------------------------------

bool AppModel::addWorkspace(const QString& name, const QString& colorHex)
{
    Workspace w;
    w.id = QUuid::createUuid();
    // Names and colours within what a load takes (Store), so the next start reads them back whole.
    w.name = Store::boundedName(name);
    w.colorHex = colorHex.size() > Store::maxColorLength ? QString::fromLatin1(Store::defaultColorHex) : colorHex;
    w.maxRows = 4;
    m_workspaces.append(w);
    workspacesEdited();
    setSelectedWorkspaceID(w.id);
    save();
    return true;
}

void AppModel::selectWorkspace(const QUuid& id)
{
    setSelectedWorkspaceID(id);  // accepted whether or not a workspace has it
    setMaximizedSessionID(std::nullopt);
    save();
}

void AppModel::renameWorkspace(const QUuid& id, const QString& name)
{
    const QString trimmed = Store::boundedName(trimSpacesAndTabs(name));
    if (trimmed.isEmpty())
        return;
    for (Workspace& w : m_workspaces)
        if (w.id == id) {
            w.name = trimmed;
            workspacesEdited();
            save();
            return;
        }
}

void AppModel::setWorkspaceColor(const QUuid& id, const QString& colorHex)
{
    if (colorHex.size() > Store::maxColorLength)
        return;  // not a colour
    for (Workspace& w : m_workspaces)
        if (w.id == id) {
            w.colorHex = colorHex;
            workspacesEdited();
            save();
            return;
        }
}

void AppModel::deleteWorkspace(const QUuid& id)
{
    qsizetype at = -1;
    for (qsizetype i = 0; i < m_workspaces.size(); ++i)
        if (m_workspaces.at(i).id == id) {
            at = i;
            break;
        }
    if (at < 0)
        return;
    for (const Session& s : m_workspaces.at(at).sessions) {
        terminateRuntime(s.id);
        ChatHost::shared().dropPane(s.id);
    }
    m_workspaces.removeAt(at);
    workspacesEdited();
    if (m_selectedWorkspaceID == id) {
        // The first remaining workspace, not the neighbour.
        setSelectedWorkspaceID(m_workspaces.isEmpty() ? std::nullopt : std::optional<QUuid>(m_workspaces.first().id));
        setMaximizedSessionID(std::nullopt);
    }
    save();
}

void AppModel::setGridLayout(std::optional<int> columns, int maxRows)
{
    if (const auto index = selectedWorkspaceIndex()) {
        Workspace& w = m_workspaces[*index];
        w.forcedColumns = columns;
        w.maxRows = std::clamp(maxRows, 1, 4);
        workspacesEdited();
    }
    save();  // in every case
}

void AppModel::setBigSide(bool left)
{
    if (const auto index = selectedWorkspaceIndex()) {
        m_workspaces[*index].bigSideLeft = left;
        workspacesEdited();
    }
    save();  // in every case
}

void AppModel::beginDrag(const QUuid& id)
{
    setDraggingSessionID(id);
    setDropTarget(std::nullopt);
}

void AppModel::endDrag()
{
    // Also called when a drag ends without an accepted drop.
    setDraggingSessionID(std::nullopt);
    setDropTarget(std::nullopt);
}

void AppModel::swapSessions(const QUuid& a, const QUuid& b)
{
    if (a == b)
        return;
    const auto index = selectedWorkspaceIndex();
    if (!index)
        return;
    QList<Session>& sessions = m_workspaces[*index].sessions;
    qsizetype ia = -1, ib = -1;
    for (qsizetype i = 0; i < sessions.size(); ++i) {
        if (ia < 0 && sessions.at(i).id == a)
            ia = i;
        if (ib < 0 && sessions.at(i).id == b)
            ib = i;
    }
    if (ia < 0 || ib < 0)
        return;
    sessions.swapItemsAt(ia, ib);
    workspacesEdited();
    save();
}

void AppModel::rememberRecent(const QString& directory)
{
    if (directory.size() > Store::maxPathLength)
        return;  // no folder (see addSession)
    QStringList next = m_recents;
    next.removeAll(directory);
    next.prepend(directory);
    while (next.size() > 8)
        next.removeLast();
    if (next != m_recents)
        markUnsaved();  // its caller saves
    setRecents(next);
}

void AppModel::finishOnboarding()
{
    if (m_defaults) {
        m_defaults->setValue(QLatin1String(AppInfo::onboardedKey), true);
        m_defaults->sync();
    }
    setShowOnboarding(false);
    save();
}

// --- Provider tools ---------------------------------------------------------------------------

void AppModel::detectClaude(std::function<void()> done)
{
    QPointer<AppModel> self(this);
    if (m_claudeDetections++ == 0)
        emit detectingChanged();
    ClaudeDetector::detect(this, [self, done = std::move(done)](ClaudeInfo info) {
        if (!self)
            return;
        self->m_claude = info;
        if (--self->m_claudeDetections == 0)
            emit self->detectingChanged();
        emit self->claudeChanged();
        ChatHost::shared().claudePath = info.path;
        if (done)
            done();
    });
}

void AppModel::detectCodex(std::function<void()> done)
{
    QPointer<AppModel> self(this);
    if (m_codexDetections++ == 0)
        emit detectingChanged();
    CodexDetector::detect(this, [self, done = std::move(done)](ProviderInfo info) {
        if (!self)
            return;
        self->m_codex = info;
        if (--self->m_codexDetections == 0)
            emit self->detectingChanged();
        emit self->codexChanged();
        ChatHost::shared().codexPath = info.path;
        if (done)
            done();
    });
}

void AppModel::login(ChatProvider provider)
{
    const bool busy = provider == ChatProvider::Codex ? m_codexLoggingIn : m_claudeLoggingIn;
    if (busy)
        return;  // one login at a time per provider
    setLoggingIn(provider, true);
    setLoginProblem(provider, {});
    const quint64 round = ++(provider == ChatProvider::Codex ? m_codexLoginRound : m_claudeLoginRound);
    // The tool detection found, which is the one a pane starts: the login shell's PATH need not
    // hold it (an installer's own folder often is not on it).
    const bool codex = provider == ChatProvider::Codex;
    const std::optional<QString> path = codex ? (m_codex ? m_codex->path : std::nullopt) : (m_claude ? m_claude->path : std::nullopt);
    const QString command = codex ? CodexDetector::loginCommand(path) : ClaudeDetector::loginCommand(path);
    const QString tool = path.value_or(codex ? QStringLiteral("codex") : QStringLiteral("claude"));
    QPointer<AppModel> self(this);
    QProcess* process = runLogin(command, tool, [self, provider, round](const QString& problem) {
        if (!self)
            return;
        self->setLoginProblem(provider, problem);
        const auto cleared = [self, provider, round] {
            if (self && (provider == ChatProvider::Codex ? self->m_codexLoginRound : self->m_claudeLoginRound) == round)
                self->setLoggingIn(provider, false);
        };
        if (provider == ChatProvider::Codex)
            self->detectCodex(cleared);
        else
            self->detectClaude(cleared);
    });
    (codex ? m_codexLogin : m_claudeLogin) = process;
}

void AppModel::cancelLogin(ChatProvider provider)
{
    const bool codex = provider == ChatProvider::Codex;
    if (!(codex ? m_codexLoggingIn : m_claudeLoggingIn))
        return;
    ++(codex ? m_codexLoginRound : m_claudeLoginRound);  // its follow-up, if any, clears nothing now
    if (QProcess* p = std::exchange(codex ? m_codexLogin : m_claudeLogin, nullptr))
        endLogin(p);
    setLoginProblem(provider, {});
    setLoggingIn(provider, false);
    // What the tool says now: a login may have gone through before it was cancelled.
    if (codex)
        detectCodex({});
    else
        detectClaude({});
}

void AppModel::cancelLogin(const QString& provider)
{
    if (const auto p = chatProviderFromRaw(provider))
        cancelLogin(*p);
}

void AppModel::setLoginProblem(ChatProvider provider, const QString& problem)
{
    QString& held = provider == ChatProvider::Codex ? m_codexLoginProblem : m_claudeLoginProblem;
    if (held == problem)
        return;
    held = problem;
    emit loginProblemChanged();
}

QProcess* AppModel::runLogin(const QString& commandLine, const QString& tool, std::function<void(QString)> followUp)
{
    // Asynchronous on the GUI thread; nothing waits for it.
    auto* p = new QProcess(this);
    const QString shell = LoginShell::path();
    p->setProgram(shell);
    p->setArguments({QStringLiteral("-lic"), commandLine});
    // The tool's output is shown nowhere; the null device keeps a chatty tool from blocking on a
    // pipe nobody reads.
    p->setStandardOutputFile(QProcess::nullDevice());
    p->setStandardErrorFile(QProcess::nullDevice());
    // No terminal: an interactive shell given the terminal the app was started from would stop
    // itself in the background and never run the login. Its own process group also lets ending a
    // login that never returns end the tool (and the helpers it started) the shell waits for, and
    // that happens however the app ends: a login waiting for the browser must not outlive it.
    endWithApplication(*p);
    auto finished = std::make_shared<bool>(false);
    auto finish = [p, finished, followUp = std::move(followUp)](const QString& problem) {
        if (std::exchange(*finished, true))
            return;
        p->deleteLater();
        followUp(problem);
    };
    connect(p, &QProcess::finished, this, [tool, finish](int code, QProcess::ExitStatus status) {
        // 126 and 127 are a shell's "cannot execute" and "not found": the tool never ran. Any
        // other end is the tool's own (a sign-in given up in the browser included).
        const bool notRun = status == QProcess::NormalExit && (code == 126 || code == 127);
        finish(notRun ? QStringLiteral("Could not start %1 (%2).").arg(HiddenCharacters::inSentence(tool), code == 127 ? QStringLiteral("not found") : QStringLiteral("not executable"))
                      : QString());
    });
    const QString cannotStart = QStringLiteral("Could not start the login shell %1.").arg(HiddenCharacters::inSentence(shell));
    connect(p, &QProcess::errorOccurred, this, [finish, cannotStart](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart)
            finish(cannotStart);
    });
    // No time limit: a browser sign-in takes as long as the user needs. The login ends with the
    // model, when the application quits, and with the application however it ends.
    if (auto* app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &AppModel::endLogins, Qt::UniqueConnection);
    // The shell that watches the login starts even when the login shell cannot: told apart here
    // (a bare name is looked up as QProcess would), and said as a failed start would, after this
    // returns.
    const QFileInfo program(shell.contains(QLatin1Char('/')) ? shell : QStandardPaths::findExecutable(shell));
    if (!program.isFile() || !program.isExecutable()) {
        QMetaObject::invokeMethod(p, [finish, cannotStart] { finish(cannotStart); }, Qt::QueuedConnection);
        return p;
    }
    p->start();
    return p;
}

void AppModel::endLogin(QProcess* login)
{
    login->disconnect(this);
    if (login->state() != QProcess::NotRunning) {
        if (login->processId() > 0)
            ::kill(-pid_t(login->processId()), SIGKILL);
        login->kill();
        login->waitForFinished(2000);
    }
    login->deleteLater();
}

void AppModel::endLogins()
{
    for (QProcess* login : findChildren<QProcess*>(Qt::FindDirectChildrenOnly))
        endLogin(login);
}

// --- QML forms ----------------------------------------------------------------------------------

#define BRINMOOR_WITH_ID(text, call)             \
    do {                                         \
        if (const auto uuid = idFromText(text))  \
            call;                                \
    } while (false)

bool AppModel::addSession(const QString& kind, const QVariant& project, const QString& directory,
                          bool autoApprove, const QString& provider)
{
    std::optional<QString> name;
    if (project.isValid() && !project.isNull())
        name = project.toString();
    return addSession(kind == QLatin1String("chat") ? PaneKind::Chat : PaneKind::Terminal, name, directory,
                      autoApprove, provider == QLatin1String("codex") ? ChatProvider::Codex : ChatProvider::Claude);
}

void AppModel::close(const QString& id)
{
    if (const auto uuid = idFromText(id))
        close(*uuid);
    else
        save();  // closing saves even when no session has the id
}

void AppModel::stop(const QString& id) { BRINMOOR_WITH_ID(id, stop(*uuid)); }
void AppModel::restart(const QString& id) { BRINMOOR_WITH_ID(id, restart(*uuid)); }
void AppModel::approve(const QString& id) { BRINMOOR_WITH_ID(id, approve(*uuid)); }
void AppModel::deny(const QString& id) { BRINMOOR_WITH_ID(id, deny(*uuid)); }
void AppModel::toggleMute(const QString& id) { BRINMOOR_WITH_ID(id, toggleMute(*uuid)); }
void AppModel::rename(const QString& id, const QString& name) { BRINMOOR_WITH_ID(id, rename(*uuid, name)); }
void AppModel::resumeChat(const QString& id, const QString& sessionId) { BRINMOOR_WITH_ID(id, resumeChat(*uuid, sessionId)); }
void AppModel::setAutoCompact(const QString& id, bool on) { BRINMOOR_WITH_ID(id, setAutoCompact(*uuid, on)); }
void AppModel::focusPane(const QString& id) { BRINMOOR_WITH_ID(id, focusPane(*uuid)); }
void AppModel::blurPane(const QString& id) { BRINMOOR_WITH_ID(id, blurPane(*uuid)); }
void AppModel::toggleMaximize(const QString& id) { BRINMOOR_WITH_ID(id, toggleMaximize(*uuid)); }
void AppModel::revealInFinder(const QString& id) { BRINMOOR_WITH_ID(id, revealInFinder(*uuid)); }
void AppModel::openInVSCode(const QString& id) { BRINMOOR_WITH_ID(id, openInVSCode(*uuid)); }
void AppModel::renameWorkspace(const QString& id, const QString& name) { BRINMOOR_WITH_ID(id, renameWorkspace(*uuid, name)); }
void AppModel::setWorkspaceColor(const QString& id, const QString& colorHex) { BRINMOOR_WITH_ID(id, setWorkspaceColor(*uuid, colorHex)); }
void AppModel::deleteWorkspace(const QString& id) { BRINMOOR_WITH_ID(id, deleteWorkspace(*uuid)); }
void AppModel::beginDrag(const QString& id) { BRINMOOR_WITH_ID(id, beginDrag(*uuid)); }
void AppModel::swapSessions(const QString& a, const QString& b)
{
    const auto ua = idFromText(a);
    const auto ub = idFromText(b);
    if (ua && ub)
        swapSessions(*ua, *ub);
}

#undef BRINMOOR_WITH_ID

void AppModel::selectWorkspace(const QString& id)
{
    // Any id is accepted, as in the C++ form; text that is no UUID selects nothing.
    const auto uuid = idFromText(id);
    setSelectedWorkspaceID(uuid);
    setMaximizedSessionID(std::nullopt);
    save();
}

void AppModel::setGridLayout(const QVariant& columns, int maxRows)
{
    std::optional<int> cols;
    if (columns.isValid() && !columns.isNull())
        cols = columns.toInt();
    setGridLayout(cols, maxRows);
}

void AppModel::login(const QString& provider)
{
    if (const auto p = chatProviderFromRaw(provider))
        login(*p);
}

void AppModel::setSwapTarget(const QString& sessionID)
{
    if (const auto uuid = idFromText(sessionID))
        setDropTarget(DropTarget::swap(*uuid));
}

void AppModel::setSideTarget(bool leading)
{
    setDropTarget(DropTarget::side(leading));
}

void AppModel::showCodePreview(const QString& title, const QString& content, bool isMarkdown, bool isDiff,
                               const QString& note)
{
    CodePreview p;
    p.title = title;
    p.content = content;
    p.isMarkdown = isMarkdown;
    p.isDiff = isDiff;
    p.note = note;
    setCodePreview(p);
}

SessionListModel* AppModel::selectedSessions() const
{
    return m_selectedWorkspaceID ? m_workspaceModel->sessionsOf(*m_selectedWorkspaceID) : nullptr;
}

QVariant AppModel::selectedWorkspaceVariant() const
{
    const auto index = selectedWorkspaceIndex();
    if (!index)
        return QVariant();
    Workspace w = m_workspaces.at(*index);
    w.sessions.clear();
    return QVariant::fromValue(w);
}

QString AppModel::selectedWorkspaceIDText() const { return optionalIdText(m_selectedWorkspaceID); }
QString AppModel::maximizedSessionIDText() const { return optionalIdText(m_maximizedSessionID); }
QString AppModel::focusedSessionIDText() const { return optionalIdText(m_focusedSessionID); }
QString AppModel::draggingSessionIDText() const { return optionalIdText(m_draggingSessionID); }

void AppModel::setMaximizedSessionIDText(const QString& id)
{
    setMaximizedSessionID(idFromText(id));
}

QVariant AppModel::dropTargetVariant() const
{
    return m_dropTarget ? QVariant::fromValue(*m_dropTarget) : QVariant();
}

void AppModel::setDropTargetVariant(const QVariant& v)
{
    if (v.canConvert<DropTarget>() && v.metaType() == QMetaType::fromType<DropTarget>())
        setDropTarget(v.value<DropTarget>());
    else
        setDropTarget(std::nullopt);
}

QString AppModel::activeSheetText() const
{
    return m_activeSheet ? sheetName(*m_activeSheet) : QString();
}

void AppModel::setActiveSheetText(const QString& name)
{
    setActiveSheet(sheetFromName(name));
}

QVariant AppModel::markdownPreviewVariant() const
{
    return m_markdownPreview ? QVariant::fromValue(*m_markdownPreview) : QVariant();
}

void AppModel::setMarkdownPreviewVariant(const QVariant& v)
{
    if (v.metaType() == QMetaType::fromType<MarkdownDoc>())
        setMarkdownPreview(v.value<MarkdownDoc>());
    else
        setMarkdownPreview(std::nullopt);
}

QVariant AppModel::codePreviewVariant() const
{
    return m_codePreview ? QVariant::fromValue(*m_codePreview) : QVariant();
}

void AppModel::setCodePreviewVariant(const QVariant& v)
{
    if (v.metaType() == QMetaType::fromType<CodePreview>())
        setCodePreview(v.value<CodePreview>());
    else
        setCodePreview(std::nullopt);
}

void AppModel::setThemePreferenceText(const QString& raw)
{
    if (const auto pref = themePreferenceFromRaw(raw))
        setThemePreference(*pref);
}

QVariant AppModel::claudeVariant() const
{
    return m_claude ? QVariant::fromValue(*m_claude) : QVariant();
}

QVariant AppModel::codexVariant() const
{
    return m_codex ? QVariant::fromValue(*m_codex) : QVariant();
}

} // namespace brinmoor
