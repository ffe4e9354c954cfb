#include "Store.h"

#include "HiddenCharacters.h"

#include "AppInfo.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QLocale>
#include <QTemporaryFile>
#include <QStandardPaths>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <limits>

namespace brinmoor {

namespace {

// --- Writing -------------------------------------------------------------------------------
// Our own writer: the file format fixes the key order, the indentation and the escaped slash,
// none of which QJsonDocument::toJson guarantees. Output mirrors a pretty-printing encoder with
// sorted keys: two-space indent, `"key" : value`, one member per line.

class JsonWriter {
public:
    explicit JsonWriter(QByteArray& out) : out(out) {}

    void beginObject() { open('{'); }
    void endObject() { close('}'); }
    void beginArray() { open('['); }
    void endArray() { close(']'); }

    // Keys must be given in sorted order; the caller knows the fixed key sets.
    void key(const char* k)
    {
        separate();
        out.append('"').append(k).append("\" : ");
        afterKey = true;
    }

    void string(const QString& s)
    {
        valuePrefix();
        const QByteArray utf8 = s.toUtf8();
        const char* p = utf8.constData();
        const char* const end = p + utf8.size();
        const char* run = p;  // start of the pending stretch that needs no escaping
        out.append('"');
        for (; p < end; ++p) {
            const auto c = static_cast<unsigned char>(*p);
            if (c >= 0x20 && c != '"' && c != '\\' && c != '/')
                continue;
            out.append(run, p - run);
            run = p + 1;
            switch (c) {
            case '"': out.append("\\\"", 2); break;
            case '\\': out.append("\\\\", 2); break;
            case '/': out.append("\\/", 2); break;
            case '\b': out.append("\\b", 2); break;
            case '\f': out.append("\\f", 2); break;
            case '\n': out.append("\\n", 2); break;
            case '\r': out.append("\\r", 2); break;
            case '\t': out.append("\\t", 2); break;
            default: {
                static const char hex[] = "0123456789abcdef";
                const char esc[6] = {'\\', 'u', '0', '0', hex[c >> 4], hex[c & 0xf]};
                out.append(esc, 6);
            }
            }
        }
        out.append(run, end - run);
        out.append('"');
    }

    void boolean(bool b)
    {
        valuePrefix();
        out.append(b ? "true" : "false");
    }

    void integer(qint64 n)
    {
        valuePrefix();
        out.append(QByteArray::number(n));
    }

    // A finite number, in the shortest form that reads back as the same value.
    void number(double d)
    {
        valuePrefix();
        out.append(QByteArray::number(d, 'g', QLocale::FloatingPointShortest));
    }

private:
    void indent()
    {
        static const char spaces[] = "                                ";  // deeper than we nest
        out.append('\n');
        out.append(spaces, std::min<qsizetype>(depth * 2, sizeof(spaces) - 1));
    }

    // Before a key or an array element: a comma after a previous member, then a fresh line.
    void separate()
    {
        if (!first.empty()) {
            if (!first.back())
                out.append(',');
            first.back() = false;
            indent();
        }
    }

    void valuePrefix()
    {
        if (afterKey) {
            afterKey = false;
            return;
        }
        separate();
    }

    void open(char c)
    {
        valuePrefix();
        out.append(c);
        ++depth;
        first.push_back(true);
    }

    void close(char c)
    {
        const bool empty = first.back();
        first.pop_back();
        --depth;
        if (!empty)
            indent();
        out.append(c);
    }

    QByteArray& out;
    int depth = 0;
    std::vector<bool> first;  // per open container: no member written yet
    bool afterKey = false;
};

void writeSession(JsonWriter& w, const Session& s)
{
    w.beginObject();
    w.key("autoApprove"); w.boolean(s.autoApprove);
    w.key("autoCompact"); w.boolean(s.autoCompact);
    if (s.claudeSessionId) { w.key("claudeSessionId"); w.string(*s.claudeSessionId); }
    w.key("directory"); w.string(s.directory);
    if (!s.figures.isEmpty()) {
        w.key("figures");
        w.beginObject();
        w.key("contextTokens"); w.integer(s.figures.contextTokens);
        w.key("contextWindow"); w.integer(s.figures.contextWindow);
        w.key("costUsd"); w.number(s.figures.costUsd);
        w.key("tokensIn"); w.integer(s.figures.tokensIn);
        w.key("tokensOut"); w.integer(s.figures.tokensOut);
        w.endObject();
    }
    if (s.groupID) { w.key("groupID"); w.string(*s.groupID); }
    w.key("id"); w.string(uuidText(s.id));
    w.key("kind"); w.string(rawValue(s.kind));
    w.key("muted"); w.boolean(s.muted);
    w.key("project"); w.string(s.project);
    w.key("provider"); w.string(rawValue(s.provider));
    w.key("sessionLabel"); w.string(s.sessionLabel);
    w.endObject();
}

void writeWorkspace(JsonWriter& w, const Workspace& ws)
{
    w.beginObject();
    w.key("bigSideLeft"); w.boolean(ws.bigSideLeft);
    w.key("colorHex"); w.string(ws.colorHex);
    if (ws.forcedColumns) { w.key("forcedColumns"); w.integer(*ws.forcedColumns); }
    w.key("id"); w.string(uuidText(ws.id));
    w.key("maxRows"); w.integer(ws.maxRows);
    w.key("name"); w.string(ws.name);
    w.key("sessions");
    w.beginArray();
    for (const Session& s : ws.sessions)
        writeSession(w, s);
    w.endArray();
    w.endObject();
}

// --- Reading -------------------------------------------------------------------------------

struct DecodeError {
    QString message;
};

class Reader {
public:
    explicit Reader(const QJsonObject& o, QString where) : o(o), where(std::move(where)) {}

    QJsonValue required(const char* k) const
    {
        const QJsonValue v = o.value(QLatin1String(k));
        if (v.isUndefined() || v.isNull())
            throw DecodeError{where + QLatin1String(": missing \"") + QLatin1String(k) + QLatin1Char('"')};
        return v;
    }

    // Absent and null both mean "not there".
    std::optional<QJsonValue> optional(const char* k) const
    {
        const QJsonValue v = o.value(QLatin1String(k));
        if (v.isUndefined() || v.isNull())
            return std::nullopt;
        return v;
    }

    QString string(const char* k) const { return asString(required(k), k); }
    bool boolean(const char* k) const { return asBool(required(k), k); }
    std::optional<QString> optString(const char* k) const
    {
        const auto v = optional(k);
        return v ? std::optional<QString>(asString(*v, k)) : std::nullopt;
    }
    std::optional<bool> optBool(const char* k) const
    {
        const auto v = optional(k);
        return v ? std::optional<bool>(asBool(*v, k)) : std::nullopt;
    }
    std::optional<int> optInt(const char* k) const
    {
        const auto v = optional(k);
        if (!v)
            return std::nullopt;
        if (!v->isDouble())
            fail(k, "an integer");
        const double d = v->toDouble();
        // An integer field takes only whole numbers that fit.
        if (!std::isfinite(d) || std::trunc(d) != d || d < double(std::numeric_limits<int>::min())
            || d > double(std::numeric_limits<int>::max()))
            fail(k, "an integer");
        return int(d);
    }
    QUuid uuid(const char* k) const { return asUuid(required(k), k); }
    QJsonArray array(const char* k) const
    {
        const QJsonValue v = required(k);
        if (!v.isArray())
            fail(k, "an array");
        return v.toArray();
    }

    QString asString(const QJsonValue& v, const char* k) const
    {
        if (!v.isString())
            fail(k, "a string");
        return v.toString();
    }
    bool asBool(const QJsonValue& v, const char* k) const
    {
        if (!v.isBool())
            fail(k, "a boolean");
        return v.toBool();
    }
    QUuid asUuid(const QJsonValue& v, const char* k) const
    {
        const auto id = uuidFromText(asString(v, k));
        if (!id)
            fail(k, "a UUID");
        return *id;
    }

    [[noreturn]] void fail(const char* k, const char* what) const
    {
        throw DecodeError{where + QLatin1String(": \"") + QLatin1String(k) + QLatin1String("\" is not ")
                          + QLatin1String(what)};
    }

private:
    QJsonObject o;
    QString where;
};

QJsonObject objectAt(const QJsonArray& a, qsizetype i, const QString& where)
{
    const QJsonValue v = a.at(i);
    if (!v.isObject())
        throw DecodeError{where + QLatin1String(" is not an object")};
    return v.toObject();
}

// Collects what a decode left out or changed.
class Damage {
public:
    explicit Damage(Store::LoadReport& report) : report(report) {}

    void skippedWorkspace(const QString& problem) { note(report.skippedWorkspaces, problem); }
    void skippedSession(const QString& problem) { note(report.skippedSessions, problem); }
    void shortened(const QString& problem) { note(report.shortened, problem); }
    // Takes over what was collected for an item that was kept in the end.
    void absorb(const Store::LoadReport& item)
    {
        report.skippedSessions += item.skippedSessions;
        report.shortened += item.shortened;
        report.problems += item.problems;
    }

private:
    void note(int& counter, const QString& problem)
    {
        ++counter;
        report.problems << problem;
    }

    Store::LoadReport& report;
};

// A name cut to its bound, reported when it was.
QString bounded(const QString& text, const QString& where, const char* key, Damage& damage)
{
    const QString cut = Store::boundedName(text);
    if (cut.size() != text.size())
        damage.shortened(where + QLatin1String(": \"") + QLatin1String(key) + QLatin1String("\" cut from ")
                         + QString::number(text.size()) + QLatin1String(" to ") + QString::number(cut.size()) + QLatin1String(" characters"));
    return cut;
}

// A conversation's figures as saved: non-negative numbers, the counts whole. They only decorate
// the pane, so figures that are not that are dropped, never the pane.
ChatFigures readFigures(const QJsonValue& v, const QString& where, Damage& damage)
{
    ChatFigures f;
    bool ok = v.isObject();
    const QJsonObject o = v.toObject();
    const auto count = [&](const char* key) -> qint64 {
        const QJsonValue n = o.value(QLatin1String(key));
        if (n.isUndefined())
            return 0;
        const double d = n.toDouble(-1);
        // Whole, and below 2^53 so that the double holds it exactly.
        if (!n.isDouble() || !(d >= 0) || d >= 9007199254740992.0 || std::trunc(d) != d) {
            ok = false;
            return 0;
        }
        return qint64(d);
    };
    f.tokensIn = count("tokensIn");
    f.tokensOut = count("tokensOut");
    f.contextTokens = count("contextTokens");
    f.contextWindow = count("contextWindow");
    const QJsonValue cost = o.value(QLatin1String("costUsd"));
    if (!cost.isUndefined()) {
        f.costUsd = cost.toDouble(-1);
        ok = ok && cost.isDouble() && std::isfinite(f.costUsd) && f.costUsd >= 0;
    }
    if (ok)
        return f;
    damage.shortened(where + QLatin1String(": \"figures\" are not a conversation's figures; dropped"));
    return {};
}

Session readSession(const QJsonObject& o, const QString& where, Damage& damage)
{
    Reader r(o, where);
    Session s;
    s.id = r.uuid("id");
    // An unknown kind or provider is a session this build cannot run, not some other session.
    const QString kind = r.optString("kind").value_or(QStringLiteral("terminal"));
    if (kind == QLatin1String("chat"))
        s.kind = PaneKind::Chat;
    else if (kind == QLatin1String("terminal"))
        s.kind = PaneKind::Terminal;
    else
        r.fail("kind", "\"terminal\" or \"chat\"");
    const QString provider = r.optString("provider").value_or(QStringLiteral("claude"));
    if (provider == QLatin1String("codex"))
        s.provider = ChatProvider::Codex;
    else if (provider == QLatin1String("claude"))
        s.provider = ChatProvider::Claude;
    else
        r.fail("provider", "\"claude\" or \"codex\"");
    s.directory = r.string("directory");
    // A cut path would name another folder.
    if (s.directory.size() > Store::maxPathLength)
        r.fail("directory", "a path of at most 4096 characters");
    s.project = bounded(r.string("project"), where, "project", damage);
    s.sessionLabel = bounded(r.string("sessionLabel"), where, "sessionLabel", damage);
    s.autoApprove = r.boolean("autoApprove");
    s.autoCompact = r.optBool("autoCompact").value_or(true);
    if (const auto group = r.optString("groupID"))
        s.groupID = bounded(*group, where, "groupID", damage);
    s.muted = r.boolean("muted");
    s.claudeSessionId = r.optString("claudeSessionId");
    // Without a usable id the pane starts a new conversation instead of resuming.
    if (s.claudeSessionId && !Store::isConversationId(*s.claudeSessionId)) {
        damage.shortened(where + QLatin1String(": \"claudeSessionId\" of ") + QString::number(s.claudeSessionId->size())
                         + QLatin1String(" characters is not a conversation id; dropped"));
        s.claudeSessionId.reset();
    }
    // Figures belong to the conversation the chat pane resumes; without one (or in a terminal
    // pane) there is nothing they could be shown for.
    if (const auto figures = r.optional("figures"); figures && s.kind == PaneKind::Chat && s.claudeSessionId)
        s.figures = readFigures(*figures, where, damage);
    s.state = PaneState::Idle;
    return s;
}

Workspace readWorkspace(const QJsonObject& o, const QString& where, Damage& damage)
{
    Reader r(o, where);
    Workspace ws;
    ws.id = r.uuid("id");
    ws.name = bounded(r.string("name"), where, "name", damage);
    ws.colorHex = r.string("colorHex");
    if (ws.colorHex.size() > Store::maxColorLength) {  // a colour, never a text
        damage.shortened(where + QLatin1String(": \"colorHex\" is not a colour; the default is used"));
        ws.colorHex = QString::fromLatin1(Store::defaultColorHex);
    }
    ws.forcedColumns = r.optInt("forcedColumns");  // taken as stored, without a range check
    ws.maxRows = std::clamp(r.optInt("maxRows").value_or(4), 1, 4);
    ws.bigSideLeft = r.optBool("bigSideLeft").value_or(false);
    const QJsonArray sessions = r.array("sessions");
    ws.sessions.reserve(sessions.size());
    for (qsizetype i = 0; i < sessions.size(); ++i) {
        const QString at = where + QLatin1String(".sessions[") + QString::number(i) + QLatin1Char(']');
        // What a session shortened counts only when the session is kept.
        Store::LoadReport item;
        Damage itemDamage(item);
        try {
            ws.sessions.append(readSession(objectAt(sessions, i, at), at, itemDamage));
            damage.absorb(item);
        } catch (const DecodeError& e) {
            damage.skippedSession(e.message + QLatin1String("; session skipped"));
        }
    }
    return ws;
}

QString plural(int n, const char* one, const char* many)
{
    return QString::number(n) + QLatin1Char(' ') + QLatin1String(n == 1 ? one : many);
}

} // namespace

Store::Store(bool isDev) : m_isDev(isDev) {}

QString Store::boundedName(const QString& name)
{
    if (name.size() <= maxNameLength)
        return name;
    qsizetype cut = maxNameLength;
    if (name.at(cut - 1).isHighSurrogate())
        --cut;
    return name.left(cut);
}

bool Store::isConversationId(const QString& id)
{
    if (id.isEmpty() || id.size() > maxIdLength)
        return false;
    for (const QChar c : id)
        if (c.unicode() <= 0x20 || c.unicode() >= 0x7f)
            return false;
    return true;
}

bool Store::areSavableFigures(const ChatFigures& f)
{
    // readFigures (above) holds a saved file to these.
    constexpr qint64 exact = qint64(1) << 53;
    for (const qint64 n : {f.tokensIn, f.tokensOut, f.contextTokens, f.contextWindow})
        if (n < 0 || n >= exact)
            return false;
    return std::isfinite(f.costUsd) && f.costUsd >= 0;
}

Store Store::forThisBuild()
{
    return Store(AppInfo::isDev());
}

QString Store::folderPath() const
{
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty())
        return QString();
    const QString folder = base + (m_isDev ? QLatin1String("/Brinmoor-Dev") : QLatin1String("/Brinmoor"));
    QDir().mkpath(folder);  // a failure shows in the read or write that follows
    return folder;
}

QString Store::filePath() const
{
    const QString folder = folderPath();
    return folder.isEmpty() ? QString() : folder + QLatin1String("/state.json");
}

QByteArray Store::encode(const Snapshot& snapshot)
{
    QByteArray out;
    out.reserve(512 + 64 * snapshot.recents.size() + 2048 * snapshot.workspaces.size());
    JsonWriter w(out);
    w.beginObject();
    w.key("recents");
    w.beginArray();
    for (const QString& r : snapshot.recents)
        w.string(r);
    w.endArray();
    if (snapshot.selected) {
        w.key("selected");
        w.string(uuidText(*snapshot.selected));
    }
    w.key("workspaces");
    w.beginArray();
    for (const Workspace& ws : snapshot.workspaces)
        writeWorkspace(w, ws);
    w.endArray();
    w.endObject();
    return out;
}

QString Store::LoadReport::notice() const
{
    if (unreadable)
        return keptAt.isEmpty()
                   ? QStringLiteral("The saved workspaces could not be read.")
                   : QStringLiteral("The saved workspaces could not be read. The file was moved to %1.").arg(HiddenCharacters::inSentence(keptAt));
    if (isClean())
        return QString();
    QString text;
    if (skippedWorkspaces || skippedSessions) {
        QStringList parts;
        if (skippedWorkspaces)
            parts << plural(skippedWorkspaces, "workspace", "workspaces");
        if (skippedSessions)
            parts << plural(skippedSessions, "session", "sessions");
        text = parts.join(QLatin1String(" and ")) + QLatin1String(" could not be read and ")
               + QLatin1String(skippedWorkspaces + skippedSessions == 1 ? "was" : "were") + QLatin1String(" left out.");
    }
    if (shortened)
        text += QLatin1String(text.isEmpty() ? "" : " ") + QLatin1String("Some saved names or ids were too long and were shortened or dropped.");
    text += keptAt.isEmpty() ? QStringLiteral(" The original file could not be copied aside.")
                             : QStringLiteral(" The original file was copied to %1.").arg(HiddenCharacters::inSentence(keptAt));
    return text;
}

std::optional<Store::Snapshot> Store::decode(const QByteArray& bytes, QString* error, LoadReport* report)
{
    QJsonParseError parseError{};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError || !doc.isObject()) {
        if (error)
            *error = parseError.error != QJsonParseError::NoError ? parseError.errorString()
                                                                   : QStringLiteral("top level is not an object");
        return std::nullopt;
    }
    // Collected here and handed over only for a snapshot: a failed file reports itself whole.
    LoadReport collected;
    Damage damage(collected);
    try {
        Reader top(doc.object(), QStringLiteral("state"));
        Snapshot snap;
        const QJsonArray workspaces = top.array("workspaces");
        const QJsonArray recents = top.array("recents");
        if (const auto sel = top.optional("selected"))
            snap.selected = top.asUuid(*sel, "selected");
        snap.workspaces.reserve(workspaces.size());
        for (qsizetype i = 0; i < workspaces.size(); ++i) {
            const QString at = QStringLiteral("workspaces[") + QString::number(i) + QLatin1Char(']');
            // A workspace that is skipped takes its sessions along; they are not counted again.
            LoadReport item;
            Damage itemDamage(item);
            try {
                snap.workspaces.append(readWorkspace(objectAt(workspaces, i, at), at, itemDamage));
                damage.absorb(item);
            } catch (const DecodeError& e) {
                damage.skippedWorkspace(e.message + QLatin1String("; workspace skipped"));
            }
        }
        for (const QJsonValue& v : recents) {
            const QString folder = top.asString(v, "recents");
            if (folder.size() > maxPathLength)
                damage.shortened(QStringLiteral("recents: a folder of %1 characters dropped").arg(folder.size()));
            else if (snap.recents.size() >= maxRecents)
                damage.shortened(QStringLiteral("recents: a folder past the eighth dropped"));
            else
                snap.recents.append(folder);
        }
        if (report)
            *report = collected;
        return snap;
    } catch (const DecodeError& e) {
        if (error)
            *error = e.message;
        return std::nullopt;
    }
}

std::optional<Store::Snapshot> Store::load()
{
    m_report = LoadReport{};
    const QString path = filePath();
    if (path.isEmpty())
        return std::nullopt;
    QFile file(path);
    if (!file.exists())
        return std::nullopt;  // first run
    std::optional<Snapshot> snap;
    QString error;
    if (!file.open(QIODevice::ReadOnly))
        error = file.errorString();
    else if (file.size() > maxFileBytes)
        error = QStringLiteral("the file is larger than %1 MB").arg(maxFileBytes >> 20);
    else
        snap = decode(file.readAll(), &error, &m_report);
    file.close();

    const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    QString aside = path + QLatin1String(".unreadable-") + stamp;
    for (int n = 1; QFileInfo::exists(aside); ++n)
        aside = path + QLatin1String(".unreadable-") + stamp + QLatin1Char('-') + QString::number(n);

    if (snap) {
        if (m_report.isClean())
            return snap;
        // The first save writes what was kept: the file as it was stays beside it.
        if (QFile::copy(path, aside))
            m_report.keptAt = aside;
        for (const QString& problem : std::as_const(m_report.problems))
            std::fprintf(stderr, "brinmoor: %s: %s\n", qPrintable(path), qPrintable(problem));
        std::fprintf(stderr, "brinmoor: %s\n", qPrintable(m_report.notice()));
        return snap;
    }

    // Keep the unreadable file under another name: the first save would otherwise replace every
    // workspace it holds with an empty state.
    m_report = LoadReport{};
    m_report.unreadable = true;
    m_report.problems << error;
    if (QFile::rename(path, aside))
        m_report.keptAt = aside;
    std::fprintf(stderr, "brinmoor: %s: %s\n", qPrintable(path), qPrintable(error));
    std::fprintf(stderr, "brinmoor: %s\n", qPrintable(m_report.notice()));
    return std::nullopt;
}

bool Store::save(const Snapshot& snapshot, QString* error) const
{
    const auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    const QString path = filePath();
    if (path.isEmpty())
        return fail(QStringLiteral("the system names no data folder"));
    const QByteArray bytes = encode(snapshot);
    // Write a temporary file beside the target, then rename it over the target: a reader sees
    // the old file or the new one, never half of one. No fsync: saves run on the GUI thread after
    // every structural change and must stay cheap, and a rename over an existing file is what
    // the file systems we run on order after the data.
    QTemporaryFile temp(QFileInfo(path).path() + QLatin1String("/.state.json.XXXXXX"));
    if (!temp.open())
        return fail(temp.errorString());
    if (temp.write(bytes) != bytes.size() || !temp.flush())
        return fail(temp.errorString());
    if (::rename(QFile::encodeName(temp.fileName()).constData(), QFile::encodeName(path).constData()) != 0)
        return fail(qt_error_string(errno));
    temp.setAutoRemove(false);  // it is state.json now
    return true;
}

} // namespace brinmoor
