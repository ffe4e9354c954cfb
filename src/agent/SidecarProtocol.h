#pragma once

// The line protocol spoken with the Node sidecars (brinmoor-agent.mjs, codex-agent.mjs): one JSON
// object per line both ways. Commands carry "cmd", events carry "ev". Reading never fails: a line
// that is not UTF-8, not JSON, not an object or not a known event is skipped.

#include "ChatModels.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QJsonArray>
#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <utility>
#include <variant>

namespace brinmoor {

// The agent library's one diagnostics sink: lines go to standard error unless a sink is set, so
// tests can capture them.
namespace AgentDiagnostics {
using Sink = std::function<void(const QString&)>;
void print(const QString& line);
// Replaces the sink (an empty one restores standard error); returns the previous one.
Sink setSink(Sink sink);
} // namespace AgentDiagnostics

// Cuts one sidecar's output into lines. Lines are split at 0x0A only; a carriage return stays in
// its line and an empty line is an empty text. A line that is not valid UTF-8 is dropped. A line
// longer than the cap is dropped with a diagnostic, and reading resumes after its line feed, so a
// runaway sidecar cannot make the buffer grow without bound.
class LineAccumulator {
public:
    static constexpr qsizetype maxLineBytes = 16 * 1024 * 1024;

    explicit LineAccumulator(qsizetype maxLine = maxLineBytes) : m_maxLine(maxLine) {}

    // Appends the bytes and returns every line completed by them, in order.
    QStringList feed(QByteArrayView bytes);
    // The same lines as their bytes, none of them decoded: lines that are not UTF-8 are among
    // them, for the caller to drop (SidecarEvent::decode does).
    QList<QByteArray> feedBytes(QByteArrayView bytes);
    // Bytes of the unfinished last line held for the next call.
    qsizetype buffered() const { return m_buffer.size(); }
    // How many over-long lines were dropped since the last call.
    int takeDropped() { return std::exchange(m_dropped, 0); }

private:
    void tooLong();

    QByteArray m_buffer;
    qsizetype m_scanned = 0;   // bytes of m_buffer known to hold no line feed
    bool m_skipping = false;   // inside an over-long line, until its line feed
    int m_dropped = 0;
    qsizetype m_maxLine;
};

// One decoded sidecar event. Missing or mistyped keys take their defaults.
struct SidecarEvent {
    struct Session { QString id; std::optional<QString> model; };                     // "session"
    struct Commands { QStringList commands; };                                          // "commands"
    struct Context { qint64 tokens = 0; std::optional<qint64> window; };               // "context"
    struct Compacted { qint64 preTokens = 0; };                                         // "compacted"
    struct Assistant { QList<ChatBlock> blocks; qint64 tokensIn = 0, tokensOut = 0; };  // "assistant"
    struct Result {                                                                     // "result"
        double costUsd = 0;
        bool isError = false;
        qint64 tokensIn = 0, tokensOut = 0, durationMs = 0;
    };
    struct Tokens { qint64 tokensIn = 0, tokensOut = 0; };                              // "tokens"
    struct Permission { QString id; QString tool; QJsonObject input; };                 // "permission_request"
    struct Question { QString id; QList<QuestionItem> questions; };                    // "question"
    struct History { QList<ChatMessage> messages; };                                    // "history"
    struct HistoryChunk { QList<ChatMessage> messages; };                               // "history_chunk"
    struct Usage {                                                                      // "usage"
        bool available = false;
        std::optional<QString> email, subscription;
        QList<UsageMetric> metrics;
    };
    struct SessionsList { QList<SessionSummary> items; };                              // "sessions_list"
    struct Log { QString text; };                                                       // "log"
    struct Error { QString message; };                                                  // "error"
    struct HistoryStart {};                                                             // "history_start"
    struct HistoryEnd {};                                                               // "history_end"
    struct Closed {};                                                                   // "closed"
    // The agent refused a model switch: the model still in force (none: its default) and why.
    struct ModelRefused { std::optional<QString> model; QString message; };           // "model_refused"
    // What the agent is doing while the turn waits on it (reconnecting, retrying); "" when that is
    // over.
    struct Status { QString text; };                                                    // "status"

    // The 20 events, in this order (Kind follows it).
    using Value = std::variant<Session, Commands, Context, Compacted, Assistant, Result, Tokens, Permission,
                               Question, History, HistoryChunk, Usage, SessionsList, Log, Error, HistoryStart,
                               HistoryEnd, Closed, ModelRefused, Status>;
    enum class Kind {
        Session, Commands, Context, Compacted, Assistant, Result, Tokens, Permission, Question, History,
        HistoryChunk, Usage, SessionsList, Log, Error, HistoryStart, HistoryEnd, Closed, ModelRefused, Status
    };

    Value value;

    Kind kind() const { return Kind(value.index()); }
    template <typename T> const T* as() const { return std::get_if<T>(&value); }

    // One line to one event, or none.
    static std::optional<SidecarEvent> decode(const QString& line);
    // The same from the line's bytes, none when they are not UTF-8. Needs no Qt object: safe on a
    // worker thread.
    static std::optional<SidecarEvent> decode(const QByteArray& utf8);
    // The messages of a history event: elements without a string "role" or without a block
    // left are skipped; role "user" exactly is the user, any other string the assistant. A user
    // message's "noAnswer" says what ended its turn when nothing answered it.
    static QList<ChatMessage> decodeMessages(const QJsonArray& messages);
    // One transcript block by its "type": "text", "thinking", "tool_use" ("settled" true: a call
    // that gives no result of its own), "tool_result" ("toolUseId" the call it answers; "isError"
    // true for a failed call, with "reason" "denied" or "interrupted" when it was refused or cut).
    static std::optional<ChatBlock> decodeBlock(const QJsonObject& block);
};

// The commands written to a sidecar, each a JSON object named by "cmd".
namespace SidecarCommand {

// One command as a line: compact JSON and one line feed.
QByteArray encode(const QJsonObject& command);

// What a chat session's "start" carries.
struct StartOptions {
    ChatProvider provider = ChatProvider::Claude;
    QString cwd;                      // the session's expanded folder
    QString permissionMode;
    QString binPath;                  // the provider tool's executable
    std::optional<QString> resume;    // a conversation id to resume
    std::optional<QString> model;
    std::optional<QString> effort;
};
QJsonObject start(const StartOptions& options);
// A usage monitor's "start": the home folder, mode "default", the tool under "claudePath" (claude)
// or under "binPath" with "usageOnly" true (codex).
QJsonObject usageStart(ChatProvider provider, const QString& home, const QString& binPath);
QJsonObject history(const QString& sessionId, const QString& cwd);
// The text goes as given; every image attachment becomes {"mediaType", "data"} (Base64), in order.
QJsonObject user(const QString& text, const QList<ChatAttachment>& attachments);
QJsonObject permission(const QString& id, bool allow);
// Question text to answer text; an empty map skips the question.
QJsonObject answer(const QString& id, const QMap<QString, QString>& answers);
QJsonObject setPermissionMode(const QString& mode);
QJsonObject setModel(const QString& model);
// "" asks for the agent's default effort.
QJsonObject setEffort(const QString& effort);
QJsonObject listSessions(const QString& cwd);
QJsonObject compact();
QJsonObject interrupt();
QJsonObject quit();
QJsonObject getUsage();

} // namespace SidecarCommand

} // namespace brinmoor
