#pragma once

#include "ChatModels.h"
#include "Models.h"
#include "SentAttachments.h"
#include "SidecarProtocol.h"
#include "SidecarTools.h"
#include "TimelineModel.h"
#include "UserCommandLine.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUuid>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>
#include <QtQml/qqmlregistration.h>

#include <functional>
#include <memory>
#include <optional>
#include <variant>

namespace brinmoor {

class SidecarProcess;

// The engine of one chat pane, for either provider: it runs the pane's Node sidecar, writes its
// commands, applies its events, and publishes everything the chat pane draws.
//
// Everything runs on the GUI thread and nothing here blocks it: the Node and tool searches run on
// a worker thread (startIfNeeded() returns at once; commands given meanwhile are written right
// after "start"), and writes are queued by the process. A session never throws: a start failure
// is a message in `failure` and the error state, a failed turn a message in `turnError`.
class ClaudeSession : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Chat sessions come from ChatHost.session()")
    // The transcript's rows (rebuilt from the transcript on every change, applied row by row);
    // the pane adds its trailing working or compacting row itself.
    Q_PROPERTY(brinmoor::TimelineModel* timeline READ timeline CONSTANT)
    Q_PROPERTY(int messageCount READ messageCount NOTIFY transcriptChanged)
    // "running", "idle", "awaiting", "error", "stopped".
    Q_PROPERTY(QString state READ stateText NOTIFY stateChanged)
    Q_PROPERTY(bool busy READ busy NOTIFY busyChanged)
    // Why the sidecar could not start ("" when it could); while set, starting is refused.
    Q_PROPERTY(QString failure READ failureText NOTIFY failureChanged)
    // The message of the last failed turn ("" when none).
    Q_PROPERTY(QString turnError READ turnErrorText NOTIFY turnErrorChanged)
    // Why the sidecar ended by itself (its last error message, or a plain sentence); "" while it
    // runs and after a stop or restart. The stopped card shows it.
    Q_PROPERTY(QString exitReason READ exitReason NOTIFY exitReasonChanged)
    // A message given now would reach the agent: a sidecar runs or is being started (or none was
    // started yet, and the first start will write it).
    Q_PROPERTY(bool accepting READ accepting NOTIFY acceptingChanged)
    // What the agent says it is doing meanwhile ("Reconnecting… 2/5"), for the working row; ""
    // once the turn moves on or ends.
    Q_PROPERTY(QString statusNote READ statusNote NOTIFY statusNoteChanged)
    Q_PROPERTY(double costUsd READ costUsd NOTIFY costUsdChanged)
    Q_PROPERTY(qint64 tokensIn READ tokensIn NOTIFY tokensInChanged)
    Q_PROPERTY(qint64 tokensOut READ tokensOut NOTIFY tokensOutChanged)
    Q_PROPERTY(qint64 contextTokens READ contextTokens NOTIFY contextTokensChanged)
    Q_PROPERTY(qint64 contextWindow READ contextWindow NOTIFY contextWindowChanged)
    Q_PROPERTY(qint64 compactThreshold READ compactThreshold NOTIFY contextWindowChanged)
    Q_PROPERTY(bool compacting READ compacting NOTIFY compactingChanged)
    Q_PROPERTY(bool autoCompact READ autoCompact WRITE setAutoCompact NOTIFY autoCompactChanged)
    // A permissionRequest / askQuestion value, or undefined when nothing is pending.
    Q_PROPERTY(QVariant pendingPermission READ pendingPermissionVariant NOTIFY pendingPermissionChanged)
    Q_PROPERTY(QVariant pendingQuestion READ pendingQuestionVariant NOTIFY pendingQuestionChanged)
    // The provider's conversation id ("" until the sidecar announced one).
    Q_PROPERTY(QString claudeSessionId READ claudeSessionIdText NOTIFY claudeSessionIdChanged)
    // sessionSummary values, for the history picker.
    Q_PROPERTY(QVariantList sessionsList READ sessionsListVariant NOTIFY sessionsListChanged)
    Q_PROPERTY(bool sessionsLoading READ sessionsLoading NOTIFY sessionsLoadingChanged)
    // "" stands for none in the three texts below.
    Q_PROPERTY(QString model READ modelText NOTIFY modelChanged)
    Q_PROPERTY(QString effort READ effortText NOTIFY effortChanged)
    Q_PROPERTY(QString resolvedModel READ resolvedModelText NOTIFY resolvedModelChanged)
    Q_PROPERTY(QString permissionMode READ permissionMode NOTIFY permissionModeChanged)
    Q_PROPERTY(QStringList availableCommands READ availableCommands NOTIFY availableCommandsChanged)
    // "claude" or "codex".
    Q_PROPERTY(QString provider READ providerText CONSTANT)
    Q_PROPERTY(QString paneId READ paneIdText CONSTANT)
    Q_PROPERTY(QString directory READ directory CONSTANT)
public:
    using StateCallback = std::function<void(const QUuid& paneID, PaneState state)>;
    using SessionIdCallback = std::function<void(const QUuid& paneID, const QString& conversationID)>;
    using FiguresCallback = std::function<void(const QUuid& paneID, const ChatFigures& figures)>;

    // The clock that times a turn's thinking ("Thought for 12s"); tests move it forward instead of
    // waiting.
    static inline std::function<QDateTime()> clock = [] { return QDateTime::currentDateTimeUtc(); };

    ClaudeSession(const QUuid& paneID, const QString& directory, bool autoApprove,
                  const std::optional<QString>& resume, ChatProvider provider, bool autoCompact,
                  QObject* parent = nullptr);
    // Sends nothing; a sidecar still running is ended as stop() ends it (never left behind).
    ~ClaudeSession() override;

    // Reports of this pane (installed by the chat host; called on the GUI thread).
    StateCallback onState;          // only on a change of state
    SessionIdCallback onSessionId;  // a conversation id was announced
    FiguresCallback onFigures;      // the figures to keep: at a turn's end, a compaction, a resume

    // The conversation's figures as they were last kept (a restart's saved ones): shown until the
    // agent reports new ones. Nothing changes once figures have been reported.
    void restoreFigures(const ChatFigures& figures);
    ChatFigures figures() const;

    // Where Node, the provider tool and the script come from (tests put fakes here).
    void setTools(const SidecarTools& tools) { m_tools = tools; }

    // Starts the sidecar unless one runs, is being started, or a start failure is recorded.
    // `preferred` is the tool path the chat host was given by detection, tried first.
    void startIfNeeded(const std::optional<QString>& preferred);

    // One user message (the trimmed text and the attachments); nothing when both are empty, and
    // nothing (false) without a sidecar to take it: a message is never shown as sent when no
    // agent will read it.
    bool sendUser(const QString& text, const QList<ChatAttachment>& attachments);
    // The composer's send: `attachments` holds chatAttachment values (read by the chat module's
    // ChatAttachments, which caps images).
    Q_INVOKABLE bool send(const QString& text, const QVariantList& attachments = {});
    // One command line to the sidecar (nothing when none runs).
    void send(const QJsonObject& command);
    // A line made in pieces off the GUI thread as the sidecar takes it (a message with images).
    void send(std::shared_ptr<CommandLineSource> line);

    // Answers: question text → answer text. Skipping sends an empty answer.
    Q_INVOKABLE void answerQuestion(const QVariantMap& answers);
    void answerQuestion(const QMap<QString, QString>& answers);
    Q_INVOKABLE void skipQuestion();
    Q_INVOKABLE void resolvePermission(bool allow);
    // The turn-error bar's dismiss button: the message goes, nothing is sent.
    Q_INVOKABLE void dismissTurnError() { setTurnError(std::nullopt); }

    Q_INVOKABLE void setPermissionMode(const QString& mode);
    // "" clears the model.
    Q_INVOKABLE void setModel(const QString& model);
    void setModel(const std::optional<QString>& model);
    // Stores the effort and, when it changed, passes it to the running sidecar, which applies it
    // from the next request on without ending anything the agent started; a pane without a
    // sidecar (failed, stopped) is started again with it.
    Q_INVOKABLE void setEffort(const QString& effort);
    void setAutoCompact(bool on);

    // Asks for the past conversations (arrive in sessionsList).
    Q_INVOKABLE void requestSessions();
    Q_INVOKABLE void listSessions() { requestSessions(); }
    // Forgets the last answer, so that a new request shows no stale list while it is on its way.
    Q_INVOKABLE void clearSessionsList();
    // Claude only, only while a sidecar runs and nothing else is in progress.
    Q_INVOKABLE void compact();
    // The stop control: the turn's coming "error" or failed "result" then ends quietly in idle.
    Q_INVOKABLE void interrupt();

    Q_INVOKABLE void restartPreservingConversation();
    // Switches the pane to a stored conversation.
    Q_INVOKABLE void resume(const QString& conversationID);

    // Sends "quit" and lets the sidecar go: it is ended (SIGTERM) if still there after 2 s, and
    // its process group is killed as a last resort. Reports no exit and changes no published field.
    void stop();
    // Tells the pane, in its transcript, that `lines` lines of the sidecar were too long to read.
    void noteDroppedLines(int lines);

    // --- Read access ---
    const QList<ChatMessage>& transcript() const { return m_transcript; }
    TimelineModel* timeline() const { return m_timeline; }
    int messageCount() const { return int(m_transcript.size()); }
    PaneState state() const { return m_state; }
    QString stateText() const { return rawValue(m_state); }
    bool busy() const { return m_busy; }
    const std::optional<QString>& failure() const { return m_failure; }
    QString failureText() const { return m_failure.value_or(QString()); }
    const std::optional<QString>& turnError() const { return m_turnError; }
    QString turnErrorText() const { return m_turnError.value_or(QString()); }
    QString exitReason() const { return m_exitReason; }
    bool accepting() const { return m_process != nullptr || m_starting || !m_everStarted; }
    QString statusNote() const { return m_statusNote; }
    double costUsd() const { return m_costUsd; }
    qint64 tokensIn() const { return m_tokensIn; }
    qint64 tokensOut() const { return m_tokensOut; }
    qint64 contextTokens() const { return m_contextTokens; }
    qint64 contextWindow() const { return m_contextWindow; }
    qint64 compactThreshold() const;
    bool compacting() const { return m_compacting; }
    bool autoCompact() const { return m_autoCompact; }
    const std::optional<PermissionRequest>& pendingPermission() const { return m_pendingPermission; }
    QVariant pendingPermissionVariant() const;
    const std::optional<AskQuestion>& pendingQuestion() const { return m_pendingQuestion; }
    QVariant pendingQuestionVariant() const;
    const std::optional<QString>& claudeSessionId() const { return m_claudeSessionId; }
    QString claudeSessionIdText() const { return m_claudeSessionId.value_or(QString()); }
    const QList<SessionSummary>& sessionsList() const { return m_sessionsList; }
    QVariantList sessionsListVariant() const { return records::toVariantList(m_sessionsList); }
    bool sessionsLoading() const { return m_sessionsLoading; }
    const std::optional<QString>& model() const { return m_model; }
    QString modelText() const { return m_model.value_or(QString()); }
    const std::optional<QString>& effort() const { return m_effort; }
    QString effortText() const { return m_effort.value_or(QString()); }
    const std::optional<QString>& resolvedModel() const { return m_resolvedModel; }
    QString resolvedModelText() const { return m_resolvedModel.value_or(QString()); }
    QString permissionMode() const { return m_permissionMode; }
    QStringList availableCommands() const { return m_availableCommands; }
    ChatProvider provider() const { return m_provider; }
    QString providerText() const { return rawValue(m_provider); }
    QUuid paneID() const { return m_paneID; }
    QString paneIdText() const { return uuidText(m_paneID); }
    QString directory() const { return m_directory; }
    bool autoApprove() const { return m_autoApprove; }
    bool didInterrupt() const { return m_didInterrupt; }
    // A sidecar process is running (or being launched).
    bool hasProcess() const;
    // The sidecar's process id, 0 without one (tests look for it in /proc).
    qint64 processId() const;

    // The folder the sidecar runs in: `directory` with a leading "~" expanded. A pane whose folder
    // is missing, or is not a folder, starts no sidecar: its failure says which folder.
    Q_INVOKABLE QString expandedDirectory() const;
    // The application's environment with PATH rebuilt: the tool's folder, Node's, the usual
    // install places, then the inherited PATH.
    static QMap<QString, QString> childEnvironment(const QString& nodePath, const std::optional<QString>& binPath);
    // BRINMOOR_COMPACT_AT when it is a positive decimal integer.
    static std::optional<qint64> compactOverride();

    // Applies one event as the sidecar's output does (tests use it directly).
    void apply(const SidecarEvent& event);

signals:
    void transcriptChanged();
    void stateChanged();
    void busyChanged();
    void failureChanged();
    void turnErrorChanged();
    void exitReasonChanged();
    void acceptingChanged();
    void statusNoteChanged();
    void costUsdChanged();
    void tokensInChanged();
    void tokensOutChanged();
    void contextTokensChanged();
    void contextWindowChanged();
    void compactingChanged();
    void autoCompactChanged();
    void pendingPermissionChanged();
    void pendingQuestionChanged();
    void claudeSessionIdChanged();
    void sessionsListChanged();
    void sessionsLoadingChanged();
    void modelChanged();
    void effortChanged();
    void resolvedModelChanged();
    void permissionModeChanged();
    void availableCommandsChanged();

private:
    void launch(const QString& node, const QString& script, const QString& tool);
    void failStart(const QString& message);
    // "Claude Code", "Codex".
    QString agentName() const;
    bool hasFolder() const;
    QString folderMissing() const;
    void applyHistory(const QList<ChatMessage>& messages);
    // A sent message's images give way to their thumbnails, made on a pool thread.
    void keepThumbnailsOf(const QUuid& messageId, QList<ChatAttachment> images);
    void keepThumbnails(const QUuid& messageId, const QList<std::pair<QUuid, std::optional<SentAttachments::Thumbnail>>>& made);
    // A message's line could not be made: its turn ends, and the pane says why.
    void lineFailed();
    void handleExit();
    void setTranscript(QList<ChatMessage> transcript);
    void appendMessage(const ChatMessage& message);
    // An agent's message appended; the calls its results answer take their outcomes, and the rows
    // of the messages holding them are drawn again.
    void appendAnswer(const ChatMessage& message);
    // The rows of the messages from `from` on built again (they changed in place).
    void rebuildRowsFrom(qsizetype from);
    // The current turn ended before its answer was done: its calls still waiting are interrupted,
    // its question with nothing after it is unanswered for `reason` (TurnEnds::interrupted or an
    // error's short reason). Nothing when no turn was under way.
    void cutTurn(const QString& reason);
    // The permission and question cards of a turn that ended (or is being stopped) go with it:
    // the agent asks again if it still wants to know, and the composer is free.
    void dropPrompts();
    // A turn begins with the message or compaction that makes the session busy.
    void beginTurn();
    void setStatusNote(const QString& text);
    void setState(PaneState state);
    void setBusy(bool on);
    void setFailure(const std::optional<QString>& text);
    void setTurnError(const std::optional<QString>& text);
    void setCostUsd(double v);
    void setTokensIn(qint64 v);
    void setTokensOut(qint64 v);
    void setContextTokens(qint64 v);
    void setContextWindow(qint64 v);
    void setCompacting(bool on);
    void setPendingPermission(const std::optional<PermissionRequest>& p);
    void setPendingQuestion(const std::optional<AskQuestion>& q);
    void setClaudeSessionId(const std::optional<QString>& id);
    void setSessionsLoading(bool on);
    void setResolvedModel(const std::optional<QString>& m);
    void setExitReason(const QString& text);
    void resetStartup();
    void reportFigures();
    // Tells the host the state even when it did not change: a new sidecar's first word, so a
    // pane record left at "running" by a restart shows what is true.
    void reportState();

    SidecarTools m_tools = SidecarTools::real();

    QList<ChatMessage> m_transcript;
    TimelineModel* m_timeline;
    PaneState m_state = PaneState::Idle;
    double m_costUsd = 0;
    qint64 m_tokensIn = 0;
    qint64 m_tokensOut = 0;
    std::optional<PermissionRequest> m_pendingPermission;
    std::optional<AskQuestion> m_pendingQuestion;
    bool m_busy = false;
    std::optional<QString> m_claudeSessionId;
    std::optional<QString> m_failure;
    std::optional<QString> m_turnError;
    QString m_exitReason;
    bool m_didInterrupt = false;
    QList<SessionSummary> m_sessionsList;
    bool m_sessionsLoading = false;
    std::optional<QString> m_model;
    std::optional<QString> m_effort = QStringLiteral("high");
    std::optional<QString> m_resolvedModel;
    QString m_permissionMode;
    QStringList m_availableCommands;
    qint64 m_contextTokens = 0;
    qint64 m_contextWindow = 200000;
    bool m_compacting = false;
    bool m_autoCompact = false;
    std::optional<QDateTime> m_turnStart;
    // Where the current turn's messages begin in the transcript (from its first message).
    qsizetype m_turnFrom = 0;
    QString m_statusNote;
    const QUuid m_paneID;
    const QString m_directory;
    const bool m_autoApprove;
    std::optional<QString> m_resumeId;
    const ChatProvider m_provider;

    SidecarProcess* m_process = nullptr;
    // A start is under way (searching off the GUI thread); `m_startEpoch` tells a stale search's
    // answer (after stop or restart) from the current one.
    bool m_starting = false;
    bool m_everStarted = false;
    quint64 m_startEpoch = 0;
    // Commands given while starting (or before the first start), written right after "start"
    // (and "history").
    QList<std::variant<QJsonObject, std::shared_ptr<CommandLineSource>>> m_queued;
    QList<ChatMessage> m_historyBuffer;
    // The messages of the transcript from this one on were given after the stored conversation was
    // last shown (a message sent while the agent starts on it): newer than its history, they stay
    // after it. -1: no history is due.
    qsizetype m_newSinceStored = -1;
    // A conversation id was announced since the current sidecar started: a later, different one
    // is a switch the pane did not ask for (a "/clear"); before that, one other than `m_resumeId`.
    bool m_announcedSinceStart = false;
};

} // namespace brinmoor
