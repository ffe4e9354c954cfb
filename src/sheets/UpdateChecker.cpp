#include "UpdateChecker.h"

#include "AppInfo.h"
#include "ChildProcess.h"
#include "WebLinks.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QQmlEngine>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QThread>

#include <archive.h>
#include <archive_entry.h>

#ifndef BRINMOOR_VERSION
#define BRINMOOR_VERSION ""
#endif

namespace brinmoor {

namespace {

constexpr qint64 maxRecordBytes = 1 << 20;
const QString folderPrefix = QStringLiteral("BrinmoorUpdate-");

// An optional string key: absent and null both mean none; any other type spoils the record.
bool optionalString(const QJsonObject& o, const char* key, QString* out)
{
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isUndefined() || v.isNull())
        return true;
    if (!v.isString())
        return false;
    *out = v.toString();
    return true;
}

// A page or download address from the record: https (plain http only to a loopback test
// server), else none. A record could otherwise have a click open a local file or a program.
QUrl parsedURL(const QString& text)
{
    if (text.isEmpty())
        return QUrl();
    const QUrl url(text, QUrl::StrictMode);
    return WebLinks::isServiceAddress(url) ? url : QUrl();
}

// An entry name that stays inside the folder it is unpacked into: relative, no ".." component.
bool isContainedPath(const QString& name)
{
    if (name.isEmpty() || name.startsWith(QLatin1Char('/')))
        return false;
    const auto parts = name.split(QLatin1Char('/'));
    return !parts.contains(QStringLiteral(".."));
}

// A link whose target, read from the link's own folder, stays inside the unpacked tree.
bool isContainedLink(const QString& name, const QString& target)
{
    if (target.isEmpty() || target.startsWith(QLatin1Char('/')))
        return false;
    const QString resolved = QDir::cleanPath(QStringLiteral("/root/") + name + QStringLiteral("/../") + target);
    return resolved == QLatin1String("/root") || resolved.startsWith(QLatin1String("/root/"));
}

bool copyData(archive* in, archive* out, qint64* written, qint64 maxBytes)
{
    const void* block = nullptr;
    size_t size = 0;
    la_int64_t offset = 0;
    for (;;) {
        const int r = archive_read_data_block(in, &block, &size, &offset);
        if (r == ARCHIVE_EOF)
            return true;
        if (r != ARCHIVE_OK)
            return false;
        *written += qint64(size);
        if (*written > maxBytes)
            return false;
        if (archive_write_data_block(out, block, size, offset) != ARCHIVE_OK)
            return false;
    }
}

} // namespace

UpdateChecker::Environment UpdateChecker::Environment::live()
{
    Environment env;
    env.baseURL = AppConfig::baseURL();
    env.currentVersion = QStringLiteral(BRINMOOR_VERSION);
    if (env.currentVersion.isEmpty())
        env.currentVersion = QStringLiteral("0");
    env.appFolder = installedAppFolder(QCoreApplication::applicationDirPath());
    env.tempFolder = QDir::tempPath();
    env.pid = QCoreApplication::applicationPid();
    env.openURL = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    env.quit = [] { QCoreApplication::quit(); };
    return env;
}

UpdateChecker::UpdateChecker(Environment env, QObject* parent)
    : QObject(parent)
    , m_env(std::move(env))
    , m_network(new QNetworkAccessManager(this))
{
}

UpdateChecker::~UpdateChecker()
{
    if (m_reply)
        m_reply->abort();
    if (m_unpacker) {
        m_unpacker->wait();
        delete m_unpacker;
    }
}

UpdateChecker& UpdateChecker::shared()
{
    static UpdateChecker* checker = new UpdateChecker(Environment::live());  // lives for the whole process
    return *checker;
}

UpdateChecker* UpdateChecker::create(QQmlEngine*, QJSEngine*)
{
    UpdateChecker* c = &shared();
    QQmlEngine::setObjectOwnership(c, QQmlEngine::CppOwnership);
    return c;
}

QString UpdateChecker::manifestURL() const
{
    return AppConfig::appendingPath(m_env.baseURL, QStringLiteral("api/app/version"));
}

void UpdateChecker::start()
{
    check();
    if (m_timer)
        return;
    m_timer = new QTimer(this);
    m_timer->setInterval(checkIntervalSeconds * 1000);
    connect(m_timer, &QTimer::timeout, this, &UpdateChecker::check);
    m_timer->start();
}

void UpdateChecker::check()
{
    QNetworkRequest request{QUrl(manifestURL())};
    request.setTransferTimeout(m_env.requestTimeoutMs);
    QNetworkReply* reply = m_network->get(request);
    // A version record is a few hundred bytes; anything far larger is not one.
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
        if (received > maxRecordBytes)
            reply->abort();
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply] {
        reply->deleteLater();
        // An answer with an error status still counts when its body is a record; only a
        // transport failure (no HTTP status at all) ends the check here.
        if (!reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid())
            return;
        if (reply->error() == QNetworkReply::OperationCanceledError)
            return;
        applyRecord(reply->readAll());
    });
}

void UpdateChecker::applyRecord(const QByteArray& body)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return;
    const QJsonObject o = doc.object();
    if (!o.value(QLatin1String("version")).isString())
        return;
    const QString version = o.value(QLatin1String("version")).toString();
    QString url, download, notes;
    if (!optionalString(o, "url", &url) || !optionalString(o, "download", &download)
        || !optionalString(o, "notes", &notes))
        return;
    // The version names the update folder: one that could climb out of it is refused whole.
    if (!isSafeVersion(version))
        return;

    if (m_latestVersion != version) {
        m_latestVersion = version;
        emit latestVersionChanged();
    }
    if (m_notes != notes) {
        m_notes = notes;
        emit notesChanged();
    }
    const QUrl page = parsedURL(url);
    if (m_pageURL != page) {
        m_pageURL = page;
        emit pageURLChanged();
    }
    m_fileURL = parsedURL(download);

    if (!isNewer(version, m_env.currentVersion))
        return;
    if (!m_available) {
        m_available = true;
        emit availableChanged();
    }
    startDownload();
}

bool UpdateChecker::isNewer(const QString& version, const QString& than)
{
    const auto numbers = [](const QString& text) {
        QList<qint64> out;
        for (const QString& piece : text.split(QLatin1Char('.'), Qt::SkipEmptyParts)) {
            bool ok = false;
            const qint64 n = piece.toLongLong(&ok, 10);
            out << (ok ? n : 0);
        }
        return out;
    };
    const auto a = numbers(version), b = numbers(than);
    for (qsizetype i = 0; i < std::max(a.size(), b.size()); ++i) {
        const qint64 x = i < a.size() ? a[i] : 0, y = i < b.size() ? b[i] : 0;
        if (x != y)
            return x > y;
    }
    return false;
}

bool UpdateChecker::isSafeVersion(const QString& version)
{
    static const QRegularExpression allowed(QStringLiteral("^[A-Za-z0-9._+-]+$"));
    return version != QLatin1String(".") && version != QLatin1String("..") && allowed.match(version).hasMatch();
}

QString UpdateChecker::installedAppFolder(const QString& executableDir)
{
    const QFileInfo bin(executableDir);
    if (bin.fileName() != QLatin1String("bin"))
        return QString();
    const QFileInfo app(bin.absolutePath());
    if (app.suffix() != QLatin1String("app") || !app.isDir() || app.isSymLink() || !app.isWritable())
        return QString();
    // The swap renames the folder, which needs write access to the folder that holds it.
    if (!QFileInfo(app.absolutePath()).isWritable())
        return QString();
    return app.absoluteFilePath();
}

QString UpdateChecker::updateFolder() const
{
    return QDir(m_env.tempFolder).absoluteFilePath(folderPrefix + m_latestVersion);
}

// Removes an update folder left by an earlier run. Refuses any path that is not directly inside
// the temporary folder under our prefix, and removes a link there as a link, never its target.
static bool removeUpdateFolder(const QString& folder, const QString& tempFolder)
{
    const QFileInfo info(folder);
    if (QDir::cleanPath(info.absolutePath()) != QDir::cleanPath(QDir(tempFolder).absolutePath())
        || !info.fileName().startsWith(folderPrefix))
        return false;
    if (!info.exists() && !info.isSymLink())
        return true;
    if (info.isSymLink() || !info.isDir())
        return QFile::remove(folder);
    return QDir(folder).removeRecursively();
}

void UpdateChecker::setDownloading(bool on)
{
    if (m_downloading == on)
        return;
    m_downloading = on;
    emit downloadingChanged();
}

void UpdateChecker::startDownload()
{
    if (!m_fileURL.isValid() || m_fileURL.isEmpty() || m_downloading || m_ready)
        return;
    if (!isSafeVersion(m_latestVersion))
        return;
    m_archive = std::make_unique<QTemporaryFile>(QDir(m_env.tempFolder).filePath(folderPrefix + QStringLiteral("XXXXXX.zip")));
    if (!m_archive->open()) {
        m_archive.reset();
        return;
    }
    m_folder = updateFolder();
    m_received = 0;
    setDownloading(true);

    QNetworkRequest request(m_fileURL);
    request.setTransferTimeout(60 * 1000);  // a stalled transfer; the deadline caps the whole
    QNetworkReply* reply = m_network->get(request);
    m_reply = reply;
    if (!m_deadline) {
        m_deadline = new QTimer(this);
        m_deadline->setSingleShot(true);
    }
    m_deadline->disconnect();
    connect(m_deadline, &QTimer::timeout, reply, &QNetworkReply::abort);
    m_deadline->start(m_env.downloadTimeoutMs);

    const auto tooLarge = [this](qint64 bytes) { return bytes > m_env.maxDownloadBytes; };
    connect(reply, &QNetworkReply::metaDataChanged, reply, [reply, tooLarge] {
        bool ok = false;
        const qint64 announced = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&ok);
        if (ok && tooLarge(announced))
            reply->abort();
    });
    connect(reply, &QNetworkReply::readyRead, this, [this, reply, tooLarge] {
        const QByteArray chunk = reply->readAll();
        m_received += chunk.size();
        if (tooLarge(m_received) || m_archive->write(chunk) != chunk.size())
            reply->abort();
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply] {
        reply->deleteLater();
        m_deadline->stop();
        const QByteArray rest = reply->readAll();
        m_received += rest.size();
        bool known = false;
        const qint64 announced = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&known);
        // A cut-off transfer can end without an error: its length tells.
        finishDownload(reply->error() == QNetworkReply::NoError && m_received <= m_env.maxDownloadBytes
                       && (!known || announced == m_received) && m_archive->write(rest) == rest.size()
                       && m_archive->flush());
    });
}

void UpdateChecker::finishDownload(bool ok)
{
    // A failed removal leaves a folder we may not own: never unpack into it.
    if (ok)
        ok = removeUpdateFolder(m_folder, m_env.tempFolder)
            && QDir().mkdir(m_folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    if (!ok) {
        m_archive.reset();
        setDownloading(false);
        return;
    }

    // Unpacking a release takes long enough to stall the window: it runs on a worker thread
    // that touches only the two paths, and the result comes back to this thread.
    const QString archivePath = m_archive->fileName(), folder = m_folder;
    const qint64 maxBytes = m_env.maxUnpackedBytes;
    auto result = std::make_shared<QString>();
    m_unpacker = QThread::create([archivePath, folder, maxBytes, result] {
        if (!unpackArchive(archivePath, folder, maxBytes))
            return;
        const auto entries = QDir(folder).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
        for (const QFileInfo& e : entries) {
            if (e.suffix() == QLatin1String("app") && !e.isSymLink()) {
                *result = e.absoluteFilePath();
                return;
            }
        }
    });
    connect(m_unpacker, &QThread::finished, this, [this, result] {
        m_unpacker->deleteLater();
        m_unpacker = nullptr;
        unpacked(*result);
    });
    m_unpacker->start();
}

void UpdateChecker::unpacked(const QString& appPath)
{
    m_archive.reset();
    if (appPath.isEmpty()) {
        removeUpdateFolder(m_folder, m_env.tempFolder);
    } else {
        m_newAppPath = appPath;
        m_ready = true;
        emit readyChanged();
    }
    setDownloading(false);
}

bool UpdateChecker::unpackArchive(const QString& archivePath, const QString& target, qint64 maxBytes)
{
    archive* in = archive_read_new();
    archive_read_support_format_zip(in);
    archive* out = archive_write_disk_new();
    // No ARCHIVE_EXTRACT_PERM: modes are applied through the umask and set-id bits are dropped.
    archive_write_disk_set_options(out, ARCHIVE_EXTRACT_TIME | ARCHIVE_EXTRACT_SECURE_NODOTDOT
                                            | ARCHIVE_EXTRACT_SECURE_SYMLINKS);
    const QByteArray root = QFile::encodeName(QDir(target).absolutePath()) + '/';
    bool ok = archive_read_open_filename(in, QFile::encodeName(archivePath).constData(), 64 * 1024) == ARCHIVE_OK;
    qint64 written = 0;
    while (ok) {
        archive_entry* entry = nullptr;
        const int r = archive_read_next_header(in, &entry);
        if (r == ARCHIVE_EOF)
            break;
        if (r != ARCHIVE_OK || !archive_entry_pathname(entry)) {
            ok = false;
            break;
        }
        const QByteArray name = archive_entry_pathname(entry);
        const auto type = archive_entry_filetype(entry);
        // The names are checked here because they get an absolute prefix below, which
        // ARCHIVE_EXTRACT_SECURE_NOABSOLUTEPATHS would refuse along with the bad ones.
        if (!isContainedPath(QFile::decodeName(name)) || archive_entry_hardlink(entry)
            || (type != AE_IFREG && type != AE_IFDIR && type != AE_IFLNK)) {
            ok = false;
            break;
        }
        if (type == AE_IFLNK) {
            const char* link = archive_entry_symlink(entry);
            if (!link || !isContainedLink(QFile::decodeName(name), QFile::decodeName(link))) {
                ok = false;
                break;
            }
        }
        archive_entry_copy_pathname(entry, (root + name).constData());
        ok = archive_write_header(out, entry) == ARCHIVE_OK
            && (archive_entry_size(entry) == 0 || copyData(in, out, &written, maxBytes))
            && archive_write_finish_entry(out) == ARCHIVE_OK;
    }
    ok = archive_write_close(out) == ARCHIVE_OK && ok;
    archive_write_free(out);
    archive_read_free(in);
    return ok;
}

QString UpdateChecker::swapScript()
{
    QFile file(QStringLiteral(":/Brinmoor/Sheets/assets/update-swap.sh"));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

void UpdateChecker::install()
{
    if (m_ready && !m_newAppPath.isEmpty() && !m_env.appFolder.isEmpty() && QFileInfo(m_newAppPath).isDir()) {
        const QString script = swapScript();
        const QStringList args{QStringLiteral("-c"), script, QStringLiteral("brinmoor-swap"),
                               QString::number(m_env.pid), m_env.appFolder, m_newAppPath};
        // The application quits only once the script runs: without it nobody would restart it.
        if (!script.isEmpty() && startDetached(QStringLiteral("/bin/bash"), args)) {
            if (m_env.quit)
                m_env.quit();
            return;
        }
    }
    openPage();
}

bool UpdateChecker::openPage()
{
    if (m_pageURL.isEmpty() || !WebLinks::isServiceAddress(m_pageURL) || !m_env.openURL)
        return false;
    m_env.openURL(m_pageURL);
    return true;
}

} // namespace brinmoor
