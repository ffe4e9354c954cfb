#include "ClaudeSession.h"

#include "ChatHost.h"
#include "HiddenCharacters.h"
#include "MemoryRelease.h"
#include "PseudoTerminalHelpers.h"
#include "NodeDetector.h"
#include "ReadThreads.h"
#include "SentAttachments.h"
#include "SidecarProcess.h"
#include "ToolSummaries.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QProcessEnvironment>
#include <QUrl>

#include <algorithm>
#include <limits>

namespace brinmoor {

namespace {

bool isBlankText(const ChatBlock& b)
{
    return (b.kind == ChatBlock::Kind::Text || b.kind == ChatBlock::Kind::Thinking) && b.text.trimmed().isEmpty();
}

// A line the pane adds to the conversation itself (compaction, a switch, a dropped line): shown
// as a short assistant text.
ChatMessage notice(const QString& text)
{
    ChatMessage m;
    m.role = ChatRole::Assistant;
    m.blocks.append(ChatBlock::ofText(text));
    return m;
}

// Why no process can be made now, in the words a terminal pane uses for the same limit; "" when
// no task limit stands in the way.
QString noProcessReason()
{
    const std::string refusal = PseudoTerminalHelpers::taskLimitRefusal();
    return refusal.empty() ? QString()
                           : QStringLiteral("no new process could be made (%1)").arg(QString::fromStdString(refusal));
}

} // namespace

ClaudeSession::ClaudeSession(const QUuid& paneID, const QString& directory, bool autoApprove,
                             const std::optional<QString>& resume, ChatProvider provider, bool autoCompact,
                             QObject* parent)
    : QObject(parent),
      m_timeline(new TimelineModel(this)),
      m_model(provider == ChatProvider::Claude ? std::optional<QString>(QStringLiteral("claude-opus-4-8")) : std::nullopt),
      m_permissionMode(autoApprove ? QStringLiteral("bypassPermissions") : QStringLiteral("default")),
      m_autoCompact(autoCompact),
      m_paneID(paneID),
      m_directory(directory),
      m_autoApprove(autoApprove),
      m_resumeId(resume),
      m_provider(provider)
{
    if (m_resumeId)
        m_newSinceStored = 0;
}

ClaudeSession::~ClaudeSession()
{
    // The registry stops a pane's session before dropping it; a session dropped any other way
    // must not leave its sidecar behind either. Nobody is told: the session is going.
    blockSignals(true);
    stop();
}

// --- Starting and stopping ----------------------------------------------------------------------

void ClaudeSession::startIfNeeded(const std::optional<QString>& preferred)
{
    if (m_process || m_starting || m_failure)
        return;
    m_starting = true;
    m_everStarted = true;
    emit acceptingChanged();
    // The agent edits files and runs commands where it starts: never anywhere but the pane's own
    // folder. One that was moved or deleted stops the pane until it is back and the pane restarted.
    if (!hasFolder())
        return failStart(folderMissing());
    const quint64 epoch = ++m_startEpoch;
    m_tools.find(this, m_provider, preferred, [this, epoch](const SidecarTools::Found& found) {
        if (epoch != m_startEpoch || !m_starting)
            return;  // stopped or restarted meanwhile
        if (!hasFolder())  // gone while the tools were searched for
            return failStart(folderMissing());
        // Not searched for is not missing, for Node as for the tool below.
        if (!found.node && !found.nodeNotSearched.isEmpty())
            return failStart(found.nodeNotSearched + QStringLiteral(" Restart this pane to try again."));
        if (!found.node)
            return failStart(QStringLiteral("Node ≥ 18 not found. The chat pane needs Node to run the provider sidecar."));
        if (!found.script)
            return failStart(QStringLiteral("Sidecar (%1.mjs) not found in the app bundle.").arg(Sidecar::baseName(m_provider)));
        // Not searched for is not missing: the shell may be quicker next time, and the pane says
        // what the add-session sheet's card says.
        if (!found.tool && !found.toolNotSearched.isEmpty())
            return failStart(found.toolNotSearched + QStringLiteral(" Restart this pane to try again."));
        if (!found.tool)
            return failStart(m_provider == ChatProvider::Claude
                                 ? QStringLiteral("Claude Code not found. Install it, then restart this pane.")
                                 : QStringLiteral("Codex CLI not found. Install it (npm i -g @openai/codex or brew), then restart this pane."));
        // As a terminal pane does, under a task limit the agent (the sidecar, Node's threads, the
        // CLI's) is not started into the room the application's own threads need.
        if (const QString why = noProcessReason(); !why.isEmpty())
            return failStart(QStringLiteral("Cannot start %1: %2.").arg(agentName(), why));
        launch(*found.node, *found.script, *found.tool);
    });
}

void ClaudeSession::launch(const QString& node, const QString& script, const QString& tool)
{
    auto* process = new SidecarProcess;
    m_process = process;
    process->onEvents = [this, process](const QList<SidecarEvent>& events) {
        for (const SidecarEvent& e : events) {
            if (m_process != process)
                return;  // stopped by one of these events: the rest belongs to the old sidecar
            apply(e);
        }
    };
    process->onLinesDropped = [this, process](int lines) {
        if (m_process == process)
            noteDroppedLines(lines);
    };
    process->onLineFailed = [this, process] {
        if (m_process == process)
            lineFailed();
    };
    process->onExit = [this] { handleExit(); };
    process->onFailedToStart = [this, process](const QString& error) {
        if (m_process != process)
            return;
        m_process = nullptr;
        process->release();
        const QString why = noProcessReason();
        failStart(why.isEmpty() ? QStringLiteral("Couldn't launch the sidecar: ") + error
                                : QStringLiteral("Cannot start %1: %2.").arg(agentName(), why));
        emit acceptingChanged();
    };
    process->onStarted = [this, process, tool] {
        if (m_process != process)
            return;
        SidecarCommand::StartOptions o;
        o.provider = m_provider;
        o.cwd = expandedDirectory();
        o.permissionMode = m_permissionMode;
        o.binPath = tool;
        o.resume = m_resumeId;
        o.model = m_model;
        o.effort = m_effort;
        process->write(SidecarCommand::start(o));
        if (m_resumeId)
            process->write(SidecarCommand::history(*m_resumeId, o.cwd));
        m_starting = false;
        m_announcedSinceStart = false;
        setExitReason({});
        for (const auto& cmd : std::exchange(m_queued, {}))
            std::visit([process](const auto& c) { process->write(c); }, cmd);
        // A message given while starting is already on its way.
        setState(m_busy ? PaneState::Running : PaneState::Idle);
        reportState();
    };
    process->start(node, script, expandedDirectory(), childEnvironment(node, tool));
}

QString ClaudeSession::agentName() const
{
    return m_provider == ChatProvider::Codex ? QStringLiteral("Codex") : QStringLiteral("Claude Code");
}

void ClaudeSession::failStart(const QString& message)
{
    AgentDiagnostics::print(QStringLiteral("chat pane %1: no agent started: %2").arg(uuidText(m_paneID), message));
    m_starting = false;
    m_queued.clear();
    // A message given while starting never reached an agent: it says why, and the pane is not
    // left at work on it.
    cutTurn(TurnEnds::shortReason(message));
    setBusy(false);
    setFailure(message);
    setState(PaneState::Error);
    emit acceptingChanged();
}

void ClaudeSession::stop()
{
    ++m_startEpoch;
    m_starting = false;
    m_everStarted = true;  // a stopped session takes nothing until it is started again
    m_queued.clear();
    if (SidecarProcess* p = std::exchange(m_process, nullptr))
        p->release();
    emit acceptingChanged();
}

void ClaudeSession::handleExit()
{
    QString reason = m_turnError.value_or(QString());
    if (SidecarProcess* p = std::exchange(m_process, nullptr)) {
        // A sidecar that ended badly without a word on its output (no process or thread to be
        // had, a crash) is explained by what stood in its way and by what it said on its way out.
        if (reason.isEmpty() && !p->endedWell()) {
            const QString why = noProcessReason();
            const QString said = p->lastWords();
            if (!why.isEmpty() || !said.isEmpty()) {
                reason = why.isEmpty() ? QStringLiteral("The agent ended.") : QStringLiteral("The agent ended: %1.").arg(why);
                if (!said.isEmpty())
                    reason += QStringLiteral(" It said: ") + HiddenCharacters::inSentence(said);
                AgentDiagnostics::print(QStringLiteral("chat pane %1: %2").arg(uuidText(m_paneID), reason));
            }
        }
        p->release();
    }
    m_starting = false;
    m_queued.clear();
    // Without its sidecar the pane can do nothing but start again, so it is stopped even after an
    // error (the agent CLI died and the sidecar said so before ending): the stopped card offers
    // the restart, and the error is kept as the reason it shows.
    setExitReason(reason.isEmpty() ? QStringLiteral("The agent ended.") : reason);
    cutTurn(reason.isEmpty() ? TurnEnds::agentEnded : TurnEnds::shortReason(reason));
    setBusy(false);
    dropPrompts();
    setState(PaneState::Stopped);
    emit acceptingChanged();
}

void ClaudeSession::reportState()
{
    if (onState)
        onState(m_paneID, m_state);
}

bool ClaudeSession::hasProcess() const
{
    return m_process != nullptr;
}

qint64 ClaudeSession::processId() const
{
    return m_process ? m_process->pid() : 0;
}

void ClaudeSession::restoreFigures(const ChatFigures& f)
{
    if (!figures().isEmpty())
        return;
    setCostUsd(f.costUsd);
    setTokensIn(f.tokensIn);
    setTokensOut(f.tokensOut);
    setContextTokens(f.contextTokens);
    if (f.contextWindow > 0)
        setContextWindow(f.contextWindow);
}

ChatFigures ClaudeSession::figures() const
{
    return {m_costUsd, m_tokensIn, m_tokensOut, m_contextTokens, m_contextWindow};
}

void ClaudeSession::reportFigures()
{
    if (onFigures)
        onFigures(m_paneID, figures());
}

void ClaudeSession::resetStartup()
{
    setFailure(std::nullopt);
    setExitReason({});
    setBusy(false);
    setState(PaneState::Idle);
    const ChatHost& host = ChatHost::shared();
    startIfNeeded(m_provider == ChatProvider::Codex ? host.codexPath : host.claudePath);
}

void ClaudeSession::restartPreservingConversation()
{
    // A sidecar that never announced a conversation (it never started: no folder, no Node) leaves
    // the one this pane was to resume.
    if (m_claudeSessionId)
        m_resumeId = m_claudeSessionId;
    if (m_resumeId)
        m_newSinceStored = m_transcript.size();
    // A turn under way goes with the sidecar, by the user's choice: the pane says so rather than
    // leave it looking answered, and its cards go too.
    cutTurn(TurnEnds::interrupted);
    dropPrompts();
    stop();
    resetStartup();
}

void ClaudeSession::resume(const QString& conversationID)
{
    stop();
    setTranscript({});
    m_historyBuffer.clear();
    setCostUsd(0);
    setTokensIn(0);
    setTokensOut(0);
    setContextTokens(0);
    setCompacting(false);
    setPendingPermission(std::nullopt);
    setPendingQuestion(std::nullopt);
    m_resumeId = conversationID;
    m_newSinceStored = 0;
    setClaudeSessionId(conversationID);
    reportFigures();  // the figures kept were the other conversation's
    resetStartup();
}

// --- Commands -----------------------------------------------------------------------------------

void ClaudeSession::send(const QJsonObject& command)
{
    if (m_starting || !m_everStarted) {
        m_queued.append(command);  // written right after "start"
        return;
    }
    if (m_process)
        m_process->write(command);
}

void ClaudeSession::send(std::shared_ptr<CommandLineSource> line)
{
    if (m_starting || !m_everStarted) {
        m_queued.append(std::move(line));
        return;
    }
    if (m_process)
        m_process->write(std::move(line));
}

bool ClaudeSession::sendUser(const QString& text, const QList<ChatAttachment>& attachments)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() && attachments.isEmpty())
        return false;
    if (!accepting())
        return false;
    // Attached bytes that are no image are text pasted as an attachment: it goes whole, inside the
    // message, after what was typed.
    QList<ChatAttachment> images, texts, files;
    for (const ChatAttachment& a : attachments)
        (a.isImage ? images : a.data ? texts : files).append(a);
    // The message's text in stretches, joined only as its line is made: a pasted text of 150 MB
    // is neither converted nor copied here.
    QList<UserCommandLine::TextPart> wire;
    bool wireEmpty = trimmed.isEmpty();
    wire.append(trimmed);
    for (const ChatAttachment& t : texts) {
        if (!wireEmpty)
            wire.append(QStringLiteral("\n\n"));
        wire.append(*t.data);
        wireEmpty = wireEmpty && t.data->isEmpty();
    }
    if (!files.isEmpty()) {
        QString list = wireEmpty ? QString() : QStringLiteral("\n\n");
        list += QStringLiteral("Attached files (read them):\n");
        QStringList lines;
        // One path per line: a line break in a file's name must not split it (nor add lines of
        // its own to the message), so such a path goes quoted and escaped.
        for (const ChatAttachment& f : files)
            if (f.path)
                lines << QStringLiteral("- ") + HiddenCharacters::pathForText(*f.path);
        list += lines.join(u'\n');
        wire.append(list);
    }
    ChatMessage m;
    m.role = ChatRole::User;
    if (!trimmed.isEmpty())
        m.blocks.append(ChatBlock::ofText(trimmed));
    for (const ChatAttachment& a : attachments)
        m.attachments.append(SentAttachments::keptAtSend(a));
    beginTurn();
    appendMessage(m);
    setTurnError(std::nullopt);
    m_didInterrupt = false;
    setBusy(true);
    m_turnStart = clock();
    setState(PaneState::Running);
    // Images go in Base64 and pasted texts as JSON, made on a pool thread a piece at a time as the
    // sidecar reads them: ten photos of 19 MB are a line of 253 MB, which the GUI thread neither
    // makes nor holds whole.
    if (images.isEmpty() && texts.isEmpty()) {
        QString whole;
        for (const UserCommandLine::TextPart& part : std::as_const(wire))
            whole += std::get<QString>(part);
        send(SidecarCommand::user(whole, images));
    } else {
        send(std::make_shared<UserCommandLine>(std::move(wire), images));
    }
    if (!images.isEmpty())
        keepThumbnailsOf(m.id, images);
    return true;
}

void ClaudeSession::keepThumbnailsOf(const QUuid& messageId, QList<ChatAttachment> images)
{
    // One picture decoded at a time, each held only while it is; a decode whose thread the system
    // refused waits for the next message's pictures to bring a thread.
    static auto* const queue = new ThreadQueue;
    QPointer<ClaudeSession> self(this);
    queue->add([self, messageId, images = std::move(images)]() mutable {
        QList<std::pair<QUuid, std::optional<SentAttachments::Thumbnail>>> made;
        for (ChatAttachment& a : images) {
            std::optional<SentAttachments::Thumbnail> t;
            try {
                t = SentAttachments::thumbnail(a.data.value_or(QByteArray()));
            } catch (const std::bad_alloc&) {
                // No memory to decode it: the bubble shows its name.
            }
            made.append({a.id, std::move(t)});
            a.data.reset();
        }
        images.clear();
        if (QCoreApplication* app = QCoreApplication::instance())
            QMetaObject::invokeMethod(app, [self, messageId, made = std::move(made)] {
                if (self)
                    self->keepThumbnails(messageId, made);
            }, Qt::QueuedConnection);
    });
}

void ClaudeSession::keepThumbnails(const QUuid& messageId, const QList<std::pair<QUuid, std::optional<SentAttachments::Thumbnail>>>& made)
{
    // The conversation may have been changed for another meanwhile: nothing then.
    qsizetype at = m_transcript.size() - 1;
    while (at >= 0 && m_transcript.at(at).id != messageId)
        --at;
    if (at < 0)
        return;
    ChatMessage& m = m_transcript[at];
    for (const auto& [id, thumbnail] : made) {
        for (ChatAttachment& a : m.attachments) {
            if (a.id != id)
                continue;
            // A picture that does not decode is shown by its name, as before.
            if (thumbnail) {
                a.data = thumbnail->data;
                a.mediaType = thumbnail->mediaType;
            }
        }
    }
    rebuildRowsFrom(at);
    emit transcriptChanged();
    // The pictures are gone from the app once their line is written; what the heaps kept of
    // their decoding goes back.
    MemoryRelease::giveBackFreed();
}

bool ClaudeSession::send(const QString& text, const QVariantList& attachments)
{
    QList<ChatAttachment> list;
    for (const QVariant& v : attachments)
        if (v.canConvert<ChatAttachment>())
            list.append(v.value<ChatAttachment>());
    return sendUser(text, list);
}

void ClaudeSession::answerQuestion(const QMap<QString, QString>& answers)
{
    if (!m_pendingQuestion)
        return;
    send(SidecarCommand::answer(m_pendingQuestion->id, answers));
    QStringList lines;
    for (const QuestionItem& q : m_pendingQuestion->questions) {
        const QString a = answers.value(q.question);
        if (!a.isEmpty())
            lines << q.question + QStringLiteral(" → ") + a;
    }
    if (!lines.isEmpty()) {
        ChatMessage m;
        m.role = ChatRole::User;
        m.blocks.append(ChatBlock::ofText(lines.join(u'\n')));
        appendMessage(m);
    }
    setPendingQuestion(std::nullopt);
    setState(PaneState::Running);
}

void ClaudeSession::answerQuestion(const QVariantMap& answers)
{
    QMap<QString, QString> map;
    for (auto it = answers.cbegin(); it != answers.cend(); ++it)
        map.insert(it.key(), it.value().toString());
    answerQuestion(map);
}

void ClaudeSession::skipQuestion()
{
    if (!m_pendingQuestion)
        return;
    send(SidecarCommand::answer(m_pendingQuestion->id, {}));
    setPendingQuestion(std::nullopt);
    setState(PaneState::Running);
}

void ClaudeSession::resolvePermission(bool allow)
{
    if (!m_pendingPermission)
        return;
    send(SidecarCommand::permission(m_pendingPermission->id, allow));
    setPendingPermission(std::nullopt);
    setState(PaneState::Running);
}

void ClaudeSession::setPermissionMode(const QString& mode)
{
    if (mode == m_permissionMode)
        return;
    m_permissionMode = mode;
    emit permissionModeChanged();
    send(SidecarCommand::setPermissionMode(mode));
}

void ClaudeSession::setModel(const std::optional<QString>& model)
{
    if (model == m_model)
        return;
    m_model = model;
    emit modelChanged();
    send(SidecarCommand::setModel(model.value_or(QString())));
}

void ClaudeSession::setModel(const QString& model)
{
    setModel(model.isEmpty() ? std::nullopt : std::optional<QString>(model));
}

void ClaudeSession::setEffort(const QString& effort)
{
    const std::optional<QString> next = effort.isEmpty() ? std::nullopt : std::optional<QString>(effort);
    if (next == m_effort)
        return;
    m_effort = next;
    emit effortChanged();
    // A sidecar still starting is given the new effort with its start.
    if (m_starting)
        return;
    // A restart would end the servers and background jobs the agent started: the running sidecar
    // takes the effort as it takes a new model.
    if (m_process) {
        send(SidecarCommand::setEffort(m_effort.value_or(QString())));
        return;
    }
    // Also on a failed or stopped pane: the new effort is a reason to try again.
    restartPreservingConversation();
}

void ClaudeSession::setAutoCompact(bool on)
{
    if (on == m_autoCompact)
        return;
    m_autoCompact = on;
    emit autoCompactChanged();
}

void ClaudeSession::requestSessions()
{
    setSessionsLoading(true);
    send(SidecarCommand::listSessions(expandedDirectory()));
}

void ClaudeSession::clearSessionsList()
{
    if (m_sessionsList.isEmpty())
        return;
    m_sessionsList.clear();
    emit sessionsListChanged();
}

void ClaudeSession::compact()
{
    if (m_provider != ChatProvider::Claude || !m_process || m_compacting || m_busy)
        return;
    setCompacting(true);
    setTurnError(std::nullopt);
    m_didInterrupt = false;
    beginTurn();
    setBusy(true);
    m_turnStart = clock();
    setState(PaneState::Running);
    send(SidecarCommand::compact());
}

void ClaudeSession::interrupt()
{
    m_didInterrupt = true;
    send(SidecarCommand::interrupt());
    // The sidecar drops the turn's open request at once (refused, and the turn ends): its card
    // must not stay to be answered into nothing.
    if (m_busy && (m_pendingPermission || m_pendingQuestion)) {
        dropPrompts();
        setState(PaneState::Running);
    }
}

// --- Derived values -------------------------------------------------------------------------------

std::optional<qint64> ClaudeSession::compactOverride()
{
    const QString raw = qEnvironmentVariable("BRINMOOR_COMPACT_AT");
    qsizetype i = 0;
    if (!raw.isEmpty() && (raw.front() == u'+' || raw.front() == u'-'))
        i = 1;
    if (i >= raw.size())
        return std::nullopt;
    for (qsizetype k = i; k < raw.size(); ++k)
        if (raw.at(k) < u'0' || raw.at(k) > u'9')
            return std::nullopt;
    bool ok = false;
    const qint64 v = raw.toLongLong(&ok);  // fails outside the signed 64-bit range
    if (!ok || v <= 0)
        return std::nullopt;
    return v;
}

qint64 ClaudeSession::compactThreshold() const
{
    if (const auto v = compactOverride())
        return *v;
    return qint64(double(m_contextWindow) * 0.8);
}

QString ClaudeSession::expandedDirectory() const
{
    QString dir = m_directory;
    if (dir == u"~")
        dir = QDir::homePath();
    else if (dir.startsWith(u"~/"))
        dir = QDir::homePath() + dir.mid(1);
    return dir;
}

bool ClaudeSession::hasFolder() const
{
    const QString dir = expandedDirectory();
    return !dir.isEmpty() && QFileInfo(dir).isDir();
}

QString ClaudeSession::folderMissing() const
{
    return QStringLiteral("Project folder not found: ") + HiddenCharacters::inSentence(expandedDirectory());
}

QMap<QString, QString> ClaudeSession::childEnvironment(const QString& nodePath, const std::optional<QString>& binPath)
{
    const QProcessEnvironment system = QProcessEnvironment::systemEnvironment();
    QMap<QString, QString> env;
    for (const QString& key : system.keys())
        env.insert(key, system.value(key));
    QStringList path;
    if (binPath)
        path << QFileInfo(*binPath).path();
    path << QFileInfo(nodePath).path() << QStringLiteral("/opt/homebrew/bin") << QStringLiteral("/usr/local/bin")
         << QStringLiteral("/usr/bin") << QStringLiteral("/bin") << system.value(QStringLiteral("PATH"));
    env.insert(QStringLiteral("PATH"), path.join(u':'));
    return env;
}

QVariant ClaudeSession::pendingPermissionVariant() const
{
    return m_pendingPermission ? QVariant::fromValue(*m_pendingPermission) : QVariant();
}

QVariant ClaudeSession::pendingQuestionVariant() const
{
    return m_pendingQuestion ? QVariant::fromValue(*m_pendingQuestion) : QVariant();
}

// --- Events -------------------------------------------------------------------------------------

void ClaudeSession::apply(const SidecarEvent& event)
{
    using E = SidecarEvent;
    if (const auto* e = event.as<E::Session>()) {
        // An announcement without an id must not cut the pane's link to its conversation.
        if (!e->id.isEmpty()) {
            // Before its first word the sidecar is in the conversation it was started to resume
            // (after a restart, or the app's): a "/clear" as the first message moves it too.
            const std::optional<QString>& current = m_announcedSinceStart ? m_claudeSessionId : m_resumeId;
            const bool switched = current && *current != e->id;
            m_announcedSinceStart = true;
            if (switched) {
                // The agent moved to another conversation on its own (a "/clear"): what is above
                // belongs to the old one.
                appendMessage(notice(
                    QStringLiteral("✦ New conversation started — the messages above belong to the previous one.")));
            }
            setClaudeSessionId(e->id);
            if (onSessionId)
                onSessionId(m_paneID, e->id);
        }
        setResolvedModel(e->model);
        if (!m_busy)
            setState(PaneState::Idle);
    } else if (const auto* e = event.as<E::Commands>()) {
        QStringList sorted = e->commands;
        std::sort(sorted.begin(), sorted.end());
        if (sorted != m_availableCommands) {
            m_availableCommands = sorted;
            emit availableCommandsChanged();
        }
    } else if (const auto* e = event.as<E::Context>()) {
        setContextTokens(e->tokens);
        if (e->window && *e->window > 0)
            setContextWindow(*e->window);
    } else if (const auto* e = event.as<E::Compacted>()) {
        setCompacting(false);
        setContextTokens(0);
        QString text = QStringLiteral("✦ Conversation compacted");
        if (e->preTokens >= 1)
            text += QStringLiteral(" (was ~%1k tokens)").arg(e->preTokens / 1000);
        text += QStringLiteral(" — context freed, earlier messages summarized.");
        appendMessage(notice(text));
        reportFigures();
    } else if (const auto* e = event.as<E::Assistant>()) {
        if (e->tokensIn > 0)
            setTokensIn(e->tokensIn);
        if (e->tokensOut > 0)
            setTokensOut(e->tokensOut);
        ChatMessage m;
        m.role = ChatRole::Assistant;
        for (const ChatBlock& b : e->blocks)
            if (!isBlankText(b))
                m.blocks.append(b);
        if (m.blocks.isEmpty())
            return;
        const bool thinks = std::any_of(m.blocks.cbegin(), m.blocks.cend(),
                                        [](const ChatBlock& b) { return b.kind == ChatBlock::Kind::Thinking; });
        if (thinks && m_turnStart)
            m.thoughtSeconds = double(m_turnStart->msecsTo(clock())) / 1000.0;
        setStatusNote({});
        appendAnswer(m);
        setState(PaneState::Running);
    } else if (const auto* e = event.as<E::Result>()) {
        setCostUsd(e->costUsd);
        setTokensIn(e->tokensIn);
        setTokensOut(e->tokensOut);
        if (e->isError)
            cutTurn(m_didInterrupt ? TurnEnds::interrupted : TurnEnds::shortReason({}));
        dropPrompts();
        setStatusNote({});
        setBusy(false);
        setCompacting(false);
        m_turnStart.reset();
        setState(!e->isError || m_didInterrupt ? PaneState::Idle : PaneState::Error);
        reportFigures();
        if (!e->isError && m_autoCompact && m_contextTokens >= compactThreshold())
            compact();
    } else if (const auto* e = event.as<E::Tokens>()) {
        if (e->tokensIn > 0)
            setTokensIn(e->tokensIn);
        setTokensOut(e->tokensOut);
        setStatusNote({});
    } else if (const auto* e = event.as<E::Permission>()) {
        PermissionRequest p;
        p.id = e->id;
        p.tool = e->tool;
        p.summary = permissionSummary(e->tool, e->input);
        const ToolDetail detail = toolDetailOf(e->tool, e->input);
        p.detail = detail.text;
        p.wholeLines = detail.wholeLines;
        p.wholeChars = detail.wholeChars;
        if (!p.detail && !e->input.isEmpty())
            p.detail = QString::fromUtf8(QJsonDocument(e->input).toJson(QJsonDocument::Indented)).trimmed();
        setPendingPermission(p);
        setState(PaneState::Awaiting);
    } else if (const auto* e = event.as<E::Question>()) {
        setPendingQuestion(AskQuestion{e->id, e->questions});
        setState(PaneState::Awaiting);
    } else if (const auto* e = event.as<E::History>()) {
        applyHistory(e->messages);
    } else if (event.as<E::HistoryStart>()) {
        m_historyBuffer.clear();
    } else if (const auto* e = event.as<E::HistoryChunk>()) {
        m_historyBuffer.append(e->messages);
    } else if (event.as<E::HistoryEnd>()) {
        applyHistory(std::exchange(m_historyBuffer, {}));
    } else if (const auto* e = event.as<E::SessionsList>()) {
        if (!(e->items == m_sessionsList)) {
            m_sessionsList = e->items;
            emit sessionsListChanged();
        }
        setSessionsLoading(false);
    } else if (const auto* e = event.as<E::Error>()) {
        cutTurn(m_didInterrupt ? TurnEnds::interrupted : TurnEnds::shortReason(e->message));
        dropPrompts();
        setStatusNote({});
        setBusy(false);
        if (m_didInterrupt) {
            m_didInterrupt = false;
            setState(PaneState::Idle);
            // Stopped as asked, the turn ends quietly; stopped otherwise (an agent that did not
            // answer and had to be ended), the pane says so, and stays ready for a message.
            if (e->message != QLatin1String("Interrupted"))
                setTurnError(e->message);
        } else {
            setTurnError(e->message);
            setState(PaneState::Error);
        }
    } else if (const auto* e = event.as<E::ModelRefused>()) {
        // The pill shows the model requests really go out with, and the bar says why.
        if (e->model != m_model) {
            m_model = e->model;
            emit modelChanged();
        }
        setTurnError(e->message);
    } else if (const auto* e = event.as<E::Status>()) {
        // Only while a turn waits on it: a late word after the turn's end would stay for ever.
        if (m_busy)
            setStatusNote(e->text.trimmed());
    } else if (event.as<E::Closed>()) {
        cutTurn(TurnEnds::agentEnded);
        dropPrompts();
        setStatusNote({});
        setBusy(false);
        if (m_state != PaneState::Error)
            setState(PaneState::Stopped);
    }
    // "usage" and "log" change nothing here.
}

void ClaudeSession::applyHistory(const QList<ChatMessage>& messages)
{
    const qsizetype since = std::exchange(m_newSinceStored, -1);
    if (messages.isEmpty())
        return;
    // A message given while the agent started on the conversation (one that waited for a paste
    // across a restart goes as the new composer comes) is newer than anything stored: it stays,
    // after what is read back, rather than leave the pane while the agent answers it.
    const qsizetype shownUpTo = since >= 0 && since <= m_transcript.size() ? since : m_transcript.size();
    const QList<ChatMessage> newer = m_transcript.mid(shownUpTo);
    const bool hasUser = std::any_of(m_transcript.cbegin(), m_transcript.cbegin() + shownUpTo,
                                     [](const ChatMessage& m) { return m.role == ChatRole::User; });
    // A pane that already talked keeps its longer transcript over an older stored one.
    if (hasUser && shownUpTo > messages.size())
        return;
    // The store keeps no word of how a turn ended: what it holds tells it (a call with no result,
    // a question with nothing after it).
    QList<ChatMessage> settled = messages;
    TurnEnds::settleStored(settled);
    // The same conversation read back (the pane restarted on it): its messages are
    // the ones shown, so they keep their ids, and with them their rows and the user's place in
    // them. A stored message comes with a new id, which would make every row anew.
    for (qsizetype i = 0; i < std::min(settled.size(), shownUpTo); ++i) {
        if (settled.at(i).role != m_transcript.at(i).role)
            break;
        settled[i].id = m_transcript.at(i).id;
    }
    settled += newer;
    setTranscript(std::move(settled));
}

// --- Published fields -----------------------------------------------------------------------------

void ClaudeSession::setTranscript(QList<ChatMessage> transcript)
{
    m_transcript = std::move(transcript);
    m_timeline->setRows(TimelineRow::build(m_transcript));
    emit transcriptChanged();
}

void ClaudeSession::noteDroppedLines(int lines)
{
    // The pane says so rather than leave a silent gap in the conversation.
    const ChatMessage m = notice(
        lines == 1 ? QStringLiteral("⚠ A message from the agent was larger than 16 MB and could not be read: it is left out here.")
                   : QStringLiteral("⚠ %1 messages from the agent were larger than 16 MB and could not be read: they are left out here.").arg(lines));
    if (m_historyBuffer.isEmpty())
        appendMessage(m);
    else
        m_historyBuffer.append(m);
}

void ClaudeSession::lineFailed()
{
    // The agent never got the message, so nothing will answer it.
    const QString why = QStringLiteral("The message was not sent: there was not enough memory to prepare it. Send less at once.");
    cutTurn(TurnEnds::shortReason(why));
    dropPrompts();
    setStatusNote({});
    setBusy(false);
    m_turnStart.reset();
    setTurnError(why);
    setState(PaneState::Error);
}

void ClaudeSession::beginTurn()
{
    // Messages sent while a turn runs join it: it ends (or is cut) as a whole.
    if (!m_busy)
        m_turnFrom = m_transcript.size();
}

void ClaudeSession::dropPrompts()
{
    setPendingPermission(std::nullopt);
    setPendingQuestion(std::nullopt);
}

void ClaudeSession::cutTurn(const QString& reason)
{
    if (!m_busy)
        return;
    const qsizetype from = TurnEnds::cutTurn(m_transcript, m_turnFrom, reason);
    if (from < 0)
        return;
    rebuildRowsFrom(from);
    emit transcriptChanged();
}

void ClaudeSession::appendAnswer(const ChatMessage& message)
{
    m_transcript.append(message);
    const qsizetype last = m_transcript.size() - 1;
    qsizetype from = last;
    // A result answers a call of its own turn: the search goes no further back than its start.
    for (const ChatBlock& b : message.blocks) {
        const qsizetype at = TurnEnds::settleCall(m_transcript, std::min(m_turnFrom, last), m_transcript.size(), b);
        if (at >= 0)
            from = std::min(from, at);
    }
    if (from == last)
        m_timeline->appendRows(TimelineRow::build({m_transcript.last()}));
    else
        rebuildRowsFrom(from);
    emit transcriptChanged();
}

void ClaudeSession::rebuildRowsFrom(qsizetype from)
{
    const qsizetype row = from < m_transcript.size() ? m_timeline->firstRowOf(uuidText(m_transcript.at(from).id)) : -1;
    if (row < 0) {
        // Its rows are not to be found (none drawn yet): the whole timeline, row by row.
        m_timeline->setRows(TimelineRow::build(m_transcript));
        return;
    }
    m_timeline->replaceFrom(row, TimelineRow::build(m_transcript.mid(from)));
}

void ClaudeSession::appendMessage(const ChatMessage& message)
{
    // Only the new message's rows are built: an append costs the same at any length.
    m_transcript.append(message);
    m_timeline->appendRows(TimelineRow::build({message}));
    emit transcriptChanged();
}

void ClaudeSession::setState(PaneState state)
{
    if (state == m_state)
        return;
    m_state = state;
    emit stateChanged();
    if (onState)
        onState(m_paneID, state);
}

#define BRINMOOR_SETTER(name, type, member, signal) \
    void ClaudeSession::name(type v)                \
    {                                               \
        if (member == v)                            \
            return;                                 \
        member = v;                                 \
        emit signal();                              \
    }
BRINMOOR_SETTER(setBusy, bool, m_busy, busyChanged)
BRINMOOR_SETTER(setFailure, const std::optional<QString>&, m_failure, failureChanged)
BRINMOOR_SETTER(setTurnError, const std::optional<QString>&, m_turnError, turnErrorChanged)
BRINMOOR_SETTER(setCostUsd, double, m_costUsd, costUsdChanged)
BRINMOOR_SETTER(setTokensIn, qint64, m_tokensIn, tokensInChanged)
BRINMOOR_SETTER(setTokensOut, qint64, m_tokensOut, tokensOutChanged)
BRINMOOR_SETTER(setContextTokens, qint64, m_contextTokens, contextTokensChanged)
BRINMOOR_SETTER(setContextWindow, qint64, m_contextWindow, contextWindowChanged)
BRINMOOR_SETTER(setCompacting, bool, m_compacting, compactingChanged)
BRINMOOR_SETTER(setPendingPermission, const std::optional<PermissionRequest>&, m_pendingPermission, pendingPermissionChanged)
BRINMOOR_SETTER(setPendingQuestion, const std::optional<AskQuestion>&, m_pendingQuestion, pendingQuestionChanged)
BRINMOOR_SETTER(setClaudeSessionId, const std::optional<QString>&, m_claudeSessionId, claudeSessionIdChanged)
BRINMOOR_SETTER(setSessionsLoading, bool, m_sessionsLoading, sessionsLoadingChanged)
BRINMOOR_SETTER(setResolvedModel, const std::optional<QString>&, m_resolvedModel, resolvedModelChanged)
BRINMOOR_SETTER(setExitReason, const QString&, m_exitReason, exitReasonChanged)
BRINMOOR_SETTER(setStatusNote, const QString&, m_statusNote, statusNoteChanged)
#undef BRINMOOR_SETTER

} // namespace brinmoor
