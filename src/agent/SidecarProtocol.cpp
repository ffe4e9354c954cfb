#include "SidecarProtocol.h"

#include "ToolSummaries.h"

#include <QJsonDocument>
#include <QStringDecoder>

#include <cstdio>
#include <limits>

namespace brinmoor {

// --- Diagnostics ---------------------------------------------------------------------------------

namespace {
AgentDiagnostics::Sink& currentSink()
{
    static AgentDiagnostics::Sink sink;
    return sink;
}
} // namespace

void AgentDiagnostics::print(const QString& line)
{
    if (const Sink& sink = currentSink()) {
        sink(line);
        return;
    }
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
}

AgentDiagnostics::Sink AgentDiagnostics::setSink(Sink sink)
{
    Sink previous = std::move(currentSink());
    currentSink() = std::move(sink);
    return previous;
}

// --- Lines ---------------------------------------------------------------------------------------

void LineAccumulator::tooLong()
{
    ++m_dropped;
    AgentDiagnostics::print(QStringLiteral("sidecar: dropped a line longer than %1 bytes").arg(m_maxLine));
}

QStringList LineAccumulator::feed(QByteArrayView bytes)
{
    QStringList lines;
    for (const QByteArray& line : feedBytes(bytes)) {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
        QString text = utf8.decode(line);
        if (!utf8.hasError())
            lines.append(std::move(text));
    }
    return lines;
}

QList<QByteArray> LineAccumulator::feedBytes(QByteArrayView bytes)
{
    QList<QByteArray> lines;
    if (m_skipping) {
        const qsizetype lf = bytes.indexOf('\n');
        if (lf < 0)
            return lines;
        bytes = bytes.sliced(lf + 1);
        m_skipping = false;
    }
    m_buffer.append(bytes);
    qsizetype start = 0;
    for (;;) {
        // Only bytes not searched before are searched, so a long line fed in small pieces costs
        // linear time.
        const qsizetype lf = m_buffer.indexOf('\n', std::max(m_scanned, start));
        if (lf < 0)
            break;
        const qsizetype from = start;
        start = lf + 1;
        m_scanned = start;
        if (lf - from > m_maxLine) {
            tooLong();
            continue;
        }
        lines.append(m_buffer.sliced(from, lf - from));
    }
    m_buffer.remove(0, start);
    m_scanned = m_buffer.size();
    if (m_buffer.size() > m_maxLine) {
        tooLong();
        m_buffer.clear();
        m_scanned = 0;
        m_skipping = true;
    }
    return lines;
}

// --- Events --------------------------------------------------------------------------------------

namespace {

// Typed reads: a missing key or a value of another JSON type gives the default.
struct Reader {
    const QJsonObject& o;

    QJsonValue at(const char* key) const { return o.value(QLatin1String(key)); }
    QString string(const char* key, const QString& fallback = {}) const
    {
        const QJsonValue v = at(key);
        return v.isString() ? v.toString() : fallback;
    }
    std::optional<QString> optString(const char* key) const
    {
        const QJsonValue v = at(key);
        return v.isString() ? std::optional<QString>(v.toString()) : std::nullopt;
    }
    // A number with an exact integer value that fits 64 bits.
    std::optional<qint64> optInteger(const char* key) const
    {
        const QJsonValue v = at(key);
        if (!v.isDouble())
            return std::nullopt;
        const qint64 none = std::numeric_limits<qint64>::min();
        const qint64 i = v.toInteger(none);
        if (i == none && v.toDouble() != double(none))
            return std::nullopt;
        return i;
    }
    qint64 integer(const char* key) const { return optInteger(key).value_or(0); }
    double number(const char* key) const
    {
        const QJsonValue v = at(key);
        return v.isDouble() ? v.toDouble() : 0;
    }
    bool boolean(const char* key) const
    {
        const QJsonValue v = at(key);
        return v.isBool() && v.toBool();
    }
    QJsonObject object(const char* key) const { return at(key).toObject(); }
    // An array of objects; an array holding anything else counts as mistyped as a whole.
    QList<QJsonObject> objects(const char* key) const
    {
        QList<QJsonObject> out;
        const QJsonValue v = at(key);
        if (!v.isArray())
            return out;
        const QJsonArray array = v.toArray();
        for (const QJsonValue& e : array) {
            if (!e.isObject())
                return {};
            out.append(e.toObject());
        }
        return out;
    }
    QStringList strings(const char* key) const
    {
        QStringList out;
        const QJsonValue v = at(key);
        if (!v.isArray())
            return out;
        const QJsonArray array = v.toArray();
        for (const QJsonValue& e : array) {
            if (!e.isString())
                return {};
            out.append(e.toString());
        }
        return out;
    }
};

QuestionItem readQuestion(const QJsonObject& o)
{
    const Reader r{o};
    QuestionItem q{r.string("question"), r.string("header"), r.boolean("multiSelect"), {}};
    for (const QJsonObject& option : r.objects("options")) {
        const Reader ro{option};
        q.options.append({ro.string("label"), ro.string("description")});
    }
    return q;
}

UsageMetric readMetric(const QJsonObject& o)
{
    const Reader r{o};
    UsageMetric m;  // a fresh id
    m.label = r.string("label");
    m.percent = r.number("percent");
    m.resetsAt = r.optString("resetsAt");
    return m;
}

QList<ChatBlock> readBlocks(const Reader& r)
{
    QList<ChatBlock> blocks;
    for (const QJsonObject& b : r.objects("blocks"))
        if (auto block = SidecarEvent::decodeBlock(b))
            blocks.append(std::move(*block));
    return blocks;
}

QJsonArray asArray(const QList<QJsonObject>& objects)
{
    QJsonArray out;
    for (const QJsonObject& o : objects)
        out.append(o);
    return out;
}

} // namespace

std::optional<ChatBlock> SidecarEvent::decodeBlock(const QJsonObject& block)
{
    const Reader r{block};
    const QJsonValue type = r.at("type");
    if (!type.isString())
        return std::nullopt;
    const QString t = type.toString();
    if (t == QLatin1String("text"))
        return ChatBlock::ofText(r.string("text"));
    if (t == QLatin1String("thinking"))
        return ChatBlock::ofThinking(r.string("text"));
    if (t == QLatin1String("tool_result")) {
        // An error result says why when it knows: the call was refused, or its turn was cut.
        ToolOutcome outcome = ToolOutcome::Done;
        if (r.boolean("isError")) {
            const QString reason = r.string("reason");
            outcome = reason == QLatin1String("denied")        ? ToolOutcome::Denied
                      : reason == QLatin1String("interrupted") ? ToolOutcome::Interrupted
                                                                : ToolOutcome::Failed;
        }
        return ChatBlock::ofToolResult(r.string("text"), r.string("toolUseId"), outcome);
    }
    if (t == QLatin1String("tool_use")) {
        const QString name = r.string("name", QStringLiteral("tool"));
        const QJsonObject input = r.object("input");
        const ToolDetail detail = toolDetailOf(name, input);
        ToolUse use{r.string("id"), name, toolSummary(name, input), detail.text, parseTodos(name, input)};
        use.wholeLines = detail.wholeLines;
        use.wholeChars = detail.wholeChars;
        // A call that gives no result of its own (a web search the service ran, a to-do list) is
        // complete as it comes.
        if (r.boolean("settled"))
            use.outcome = ToolOutcome::Done;
        return ChatBlock::ofToolUse(use);
    }
    return std::nullopt;
}

QList<ChatMessage> SidecarEvent::decodeMessages(const QJsonArray& messages)
{
    QList<ChatMessage> out;
    for (const QJsonValue& v : messages) {
        const QJsonObject o = v.toObject();
        const Reader r{o};
        const QJsonValue role = r.at("role");
        if (!role.isString())
            continue;
        ChatMessage m;
        m.blocks = readBlocks(r);
        if (m.blocks.isEmpty())
            continue;
        m.role = role.toString() == QLatin1String("user") ? ChatRole::User : ChatRole::Assistant;
        // What the store tells of a turn that ended with no answer (kept only while none follows).
        if (const QString why = r.string("noAnswer"); m.role == ChatRole::User && !why.trimmed().isEmpty())
            m.noAnswer = TurnEnds::shortReason(why);
        out.append(std::move(m));
    }
    return out;
}

std::optional<SidecarEvent> SidecarEvent::decode(const QString& line)
{
    return decode(line.toUtf8());
}

std::optional<SidecarEvent> SidecarEvent::decode(const QByteArray& utf8)
{
    if (!QByteArrayView(utf8).isValidUtf8())
        return std::nullopt;
    // A byte-order mark may open a line; the JSON starts after it.
    const bool bom = utf8.startsWith("\xEF\xBB\xBF");
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(bom ? utf8.sliced(3) : utf8, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    const QJsonObject o = doc.object();
    const Reader r{o};
    const QJsonValue evValue = r.at("ev");
    if (!evValue.isString())
        return std::nullopt;
    const QString ev = evValue.toString();
    auto is = [&](const char* name) { return ev == QLatin1String(name); };

    if (is("session"))
        return SidecarEvent{Session{r.string("id"), r.optString("model")}};
    if (is("model_refused")) {
        std::optional<QString> model = r.optString("model");
        if (model && model->isEmpty())
            model.reset();
        return SidecarEvent{ModelRefused{model, r.string("message", QStringLiteral("The model switch was refused."))}};
    }
    if (is("commands"))
        return SidecarEvent{Commands{r.strings("commands")}};
    if (is("context"))
        return SidecarEvent{Context{r.integer("tokens"), r.optInteger("window")}};
    if (is("compacted"))
        return SidecarEvent{Compacted{r.integer("preTokens")}};
    if (is("assistant"))
        return SidecarEvent{Assistant{readBlocks(r), r.integer("tokensIn"), r.integer("tokensOut")}};
    if (is("result"))
        return SidecarEvent{Result{r.number("costUsd"), r.boolean("isError"), r.integer("tokensIn"),
                                   r.integer("tokensOut"), r.integer("durationMs")}};
    if (is("tokens"))
        return SidecarEvent{Tokens{r.integer("tokensIn"), r.integer("tokensOut")}};
    if (is("permission_request"))
        return SidecarEvent{Permission{r.string("id"), r.string("tool", QStringLiteral("tool")), r.object("input")}};
    if (is("question")) {
        Question q{r.string("id"), {}};
        for (const QJsonObject& item : r.objects("questions"))
            q.questions.append(readQuestion(item));
        return SidecarEvent{q};
    }
    if (is("history"))
        return SidecarEvent{History{decodeMessages(asArray(r.objects("messages")))}};
    if (is("history_chunk"))
        return SidecarEvent{HistoryChunk{decodeMessages(asArray(r.objects("messages")))}};
    if (is("history_start"))
        return SidecarEvent{HistoryStart{}};
    if (is("history_end"))
        return SidecarEvent{HistoryEnd{}};
    if (is("usage")) {
        Usage u{r.boolean("available"), r.optString("email"), r.optString("subscription"), {}};
        for (const QJsonObject& m : r.objects("metrics"))
            u.metrics.append(readMetric(m));
        return SidecarEvent{u};
    }
    if (is("sessions_list")) {
        SessionsList list;
        for (const QJsonObject& item : r.objects("items")) {
            const Reader ri{item};
            list.items.append({ri.string("id"), ri.string("summary", QStringLiteral("(untitled)")), ri.number("lastModified")});
        }
        return SidecarEvent{list};
    }
    if (is("log"))
        return SidecarEvent{Log{r.string("text")}};
    if (is("status"))
        return SidecarEvent{Status{r.string("text")}};
    if (is("error"))
        return SidecarEvent{Error{r.string("message", QStringLiteral("error"))}};
    if (is("closed"))
        return SidecarEvent{Closed{}};
    return std::nullopt;
}

// --- Commands ------------------------------------------------------------------------------------

namespace SidecarCommand {

namespace {
QJsonObject named(const char* cmd) { return QJsonObject{{QStringLiteral("cmd"), QLatin1String(cmd)}}; }
} // namespace

QByteArray encode(const QJsonObject& command)
{
    return QJsonDocument(command).toJson(QJsonDocument::Compact) + '\n';
}

QJsonObject start(const StartOptions& s)
{
    QJsonObject c = named("start");
    c.insert(QStringLiteral("cwd"), s.cwd);
    c.insert(QStringLiteral("permissionMode"), s.permissionMode);
    if (s.resume)
        c.insert(QStringLiteral("resume"), *s.resume);
    if (s.model)
        c.insert(QStringLiteral("model"), *s.model);
    if (s.effort)
        c.insert(QStringLiteral("effort"), *s.effort);
    c.insert(QStringLiteral("binPath"), s.binPath);
    if (s.provider == ChatProvider::Claude)
        c.insert(QStringLiteral("claudePath"), s.binPath);
    return c;
}

QJsonObject usageStart(ChatProvider provider, const QString& home, const QString& binPath)
{
    QJsonObject c = named("start");
    c.insert(QStringLiteral("cwd"), home);
    c.insert(QStringLiteral("permissionMode"), QStringLiteral("default"));
    if (provider == ChatProvider::Claude) {
        c.insert(QStringLiteral("claudePath"), binPath);
    } else {
        c.insert(QStringLiteral("binPath"), binPath);
        c.insert(QStringLiteral("usageOnly"), true);
    }
    return c;
}

QJsonObject history(const QString& sessionId, const QString& cwd)
{
    QJsonObject c = named("history");
    c.insert(QStringLiteral("sessionId"), sessionId);
    c.insert(QStringLiteral("cwd"), cwd);
    return c;
}

QJsonObject user(const QString& text, const QList<ChatAttachment>& attachments)
{
    QJsonArray images;
    for (const ChatAttachment& a : attachments) {
        if (!a.isImage)
            continue;
        images.append(QJsonObject{
            {QStringLiteral("mediaType"), a.mediaType.value_or(QStringLiteral("image/png"))},
            {QStringLiteral("data"), QString::fromLatin1(a.data.value_or(QByteArray()).toBase64())}});
    }
    QJsonObject c = named("user");
    c.insert(QStringLiteral("text"), text);
    c.insert(QStringLiteral("attachments"), images);
    return c;
}

QJsonObject permission(const QString& id, bool allow)
{
    QJsonObject c = named("permission");
    c.insert(QStringLiteral("id"), id);
    c.insert(QStringLiteral("decision"), allow ? QStringLiteral("allow") : QStringLiteral("deny"));
    return c;
}

QJsonObject answer(const QString& id, const QMap<QString, QString>& answers)
{
    QJsonObject map;
    for (auto it = answers.cbegin(); it != answers.cend(); ++it)
        map.insert(it.key(), it.value());
    QJsonObject c = named("answer");
    c.insert(QStringLiteral("id"), id);
    c.insert(QStringLiteral("answers"), map);
    return c;
}

QJsonObject setPermissionMode(const QString& mode)
{
    QJsonObject c = named("set_permission_mode");
    c.insert(QStringLiteral("mode"), mode);
    return c;
}

QJsonObject setModel(const QString& model)
{
    QJsonObject c = named("set_model");
    c.insert(QStringLiteral("model"), model);
    return c;
}

QJsonObject setEffort(const QString& effort)
{
    QJsonObject c = named("set_effort");
    c.insert(QStringLiteral("effort"), effort);
    return c;
}

QJsonObject listSessions(const QString& cwd)
{
    QJsonObject c = named("list_sessions");
    c.insert(QStringLiteral("cwd"), cwd);
    return c;
}

QJsonObject compact() { return named("compact"); }
QJsonObject interrupt() { return named("interrupt"); }
QJsonObject quit() { return named("quit"); }
QJsonObject getUsage() { return named("get_usage"); }

} // namespace SidecarCommand

} // namespace brinmoor
