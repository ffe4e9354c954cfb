#include "Store.h"

#include "AppInfo.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QTemporaryFile>
#include <QStandardPaths>

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

Session readSession(const QJsonObject& o, const QString& where)
{
    Reader r(o, where);
    Session s;
    s.id = r.uuid("id");
    s.kind = r.optString("kind").value_or(QString()) == QLatin1String("chat") ? PaneKind::Chat : PaneKind::Terminal;
    s.project = r.string("project");
    s.sessionLabel = r.string("sessionLabel");
    s.directory = r.string("directory");
    s.autoApprove = r.boolean("autoApprove");
    s.autoCompact = r.optBool("autoCompact").value_or(true);
    s.groupID = r.optString("groupID");
    s.muted = r.boolean("muted");
    s.provider = r.optString("provider").value_or(QString()) == QLatin1String("codex") ? ChatProvider::Codex
                                                                                      : ChatProvider::Claude;
    s.claudeSessionId = r.optString("claudeSessionId");
    s.state = PaneState::Idle;
    return s;
}

Workspace readWorkspace(const QJsonObject& o, const QString& where)
{
    Reader r(o, where);
    Workspace ws;
    ws.id = r.uuid("id");
    ws.name = r.string("name");
    ws.colorHex = r.string("colorHex");
    ws.forcedColumns = r.optInt("forcedColumns");  // taken as stored, without a range check
    ws.maxRows = std::clamp(r.optInt("maxRows").value_or(4), 1, 4);
    ws.bigSideLeft = r.optBool("bigSideLeft").value_or(false);
    const QJsonArray sessions = r.array("sessions");
    ws.sessions.reserve(sessions.size());
    for (qsizetype i = 0; i < sessions.size(); ++i) {
        const QString at = where + QLatin1String(".sessions[") + QString::number(i) + QLatin1Char(']');
        ws.sessions.append(readSession(objectAt(sessions, i, at), at));
    }
    return ws;
}

} // namespace

Store::Store(bool isDev) : m_isDev(isDev) {}

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

std::optional<Store::Snapshot> Store::decode(const QByteArray& bytes, QString* error)
{
    QJsonParseError parseError{};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError || !doc.isObject()) {
        if (error)
            *error = parseError.error != QJsonParseError::NoError ? parseError.errorString()
                                                                   : QStringLiteral("top level is not an object");
        return std::nullopt;
    }
    try {
        Reader top(doc.object(), QStringLiteral("state"));
        Snapshot snap;
        const QJsonArray workspaces = top.array("workspaces");
        snap.workspaces.reserve(workspaces.size());
        for (qsizetype i = 0; i < workspaces.size(); ++i) {
            const QString at = QStringLiteral("workspaces[") + QString::number(i) + QLatin1Char(']');
            snap.workspaces.append(readWorkspace(objectAt(workspaces, i, at), at));
        }
        if (const auto sel = top.optional("selected"))
            snap.selected = top.asUuid(*sel, "selected");
        const QJsonArray recents = top.array("recents");
        for (const QJsonValue& v : recents)
            snap.recents.append(top.asString(v, "recents"));
        return snap;
    } catch (const DecodeError& e) {
        if (error)
            *error = e.message;
        return std::nullopt;
    }
}

std::optional<Store::Snapshot> Store::load()
{
    m_movedAside.clear();
    const QString path = filePath();
    if (path.isEmpty())
        return std::nullopt;
    QFile file(path);
    if (!file.exists())
        return std::nullopt;  // first run
    std::optional<Snapshot> snap;
    if (file.open(QIODevice::ReadOnly))
        snap = decode(file.readAll());
    file.close();
    if (snap)
        return snap;

    // Keep the unreadable file under another name: the first save would otherwise replace every
    // workspace it holds with an empty state.
    const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    QString aside = path + QLatin1String(".unreadable-") + stamp;
    for (int n = 1; QFileInfo::exists(aside); ++n)
        aside = path + QLatin1String(".unreadable-") + stamp + QLatin1Char('-') + QString::number(n);
    if (QFile::rename(path, aside))
        m_movedAside = aside;
    return std::nullopt;
}

bool Store::save(const Snapshot& snapshot) const
{
    const QString path = filePath();
    if (path.isEmpty())
        return false;
    const QByteArray bytes = encode(snapshot);
    // Write a temporary file beside the target, then rename it over the target: a reader sees
    // the old file or the new one, never half of one. No fsync: saves run on the GUI thread after
    // every structural change and must stay cheap, and a rename over an existing file is what
    // the file systems we run on order after the data.
    QTemporaryFile temp(QFileInfo(path).path() + QLatin1String("/.state.json.XXXXXX"));
    if (!temp.open())
        return false;
    if (temp.write(bytes) != bytes.size() || !temp.flush())
        return false;
    if (::rename(QFile::encodeName(temp.fileName()).constData(), QFile::encodeName(path).constData()) != 0)
        return false;
    temp.setAutoRemove(false);  // it is state.json now
    return true;
}

} // namespace brinmoor
