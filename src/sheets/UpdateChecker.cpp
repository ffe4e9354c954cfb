#include "UpdateChecker.h"

#include "HiddenCharacters.h"
#include "ReadThreads.h"

#include "AppInfo.h"
#include "ChildProcess.h"
#include "Store.h"
#include "UpdateHandshake.h"
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
#include <QSaveFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QThread>

#include <deque>
#include <filesystem>
#include <system_error>
#include <utility>

#include <archive.h>
#include <archive_entry.h>

#ifndef BRINMOOR_VERSION
#define BRINMOOR_VERSION ""
#endif

namespace brinmoor {

namespace {

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

// Whether `relative`, a path below `root`, followed link by link the way the system resolves it,
// stays inside `root` at every step: no ".." above it, no absolute link, at most 40 links in all.
// A name that does not exist ends the links: what follows it is read as written. Checking the
// target as written would not do: "x/.." climbs out of `root` when x is a link to "..", which
// itself stays inside.
bool resolvesInside(const std::filesystem::path& root, const std::filesystem::path& relative)
{
    namespace fs = std::filesystem;
    fs::path here;  // below root, through folders only
    std::deque<fs::path> left(relative.begin(), relative.end());
    int links = 0;
    while (!left.empty()) {
        const fs::path part = left.front();
        left.pop_front();
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            if (here.empty())
                return false;
            here = here.parent_path();
            continue;
        }
        std::error_code error;
        const fs::path at = root / here / part;
        if (!fs::is_symlink(fs::symlink_status(at, error))) {
            here /= part;
            continue;
        }
        const fs::path target = fs::read_symlink(at, error);
        if (error || target.empty() || target.is_absolute() || ++links > 40)
            return false;
        left.insert(left.begin(), target.begin(), target.end());
    }
    return true;
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

// Whether the swap script's word for a failed install finds fault with the release itself; the
// other words name troubles of this machine (a full or read-only disk, a temporary folder
// emptied, another copy of the app started meanwhile), which may pass. In step with the list in
// update-swap.sh's header.
bool faultsRelease(const QString& word)
{
    return word == QLatin1String("not-executable") || word == QLatin1String("link-outside")
        || word == QLatin1String("no-start") || word == QLatin1String("no-window") || word == QLatin1String("crashed")
        || word == QLatin1String("ended");
}

// Why a version was not installed, from the swap script's word for it (see give_up there).
// `tempFolder` and `appFolder` name the folders the local troubles are about.
QString refusalReason(const QString& word, const QString& tempFolder, const QString& appFolder)
{
    const QString appParent = appFolder.isEmpty() ? UpdateChecker::tr("the app's folder")
                                                  : HiddenCharacters::inSentence(QDir::toNativeSeparators(QFileInfo(appFolder).absolutePath()));
    const QString temp = HiddenCharacters::inSentence(QDir::toNativeSeparators(tempFolder));
    if (word == QLatin1String("not-executable"))
        return UpdateChecker::tr("its program is not an executable file inside the app folder");
    if (word == QLatin1String("link-outside"))
        return UpdateChecker::tr("a link inside it leads out of the app folder");
    if (word == QLatin1String("no-start"))
        return UpdateChecker::tr("its program does not start");
    if (word == QLatin1String("no-window"))
        return UpdateChecker::tr("it did not open its window");
    if (word == QLatin1String("crashed"))
        return UpdateChecker::tr("it crashed soon after opening its window");
    if (word == QLatin1String("ended"))
        return UpdateChecker::tr("it closed by itself soon after opening its window");
    if (word == QLatin1String("another-copy"))
        return UpdateChecker::tr("another copy of Brinmoor was started while it was being installed");
    if (word == QLatin1String("missing"))
        return UpdateChecker::tr("its files were no longer in the temporary folder");
    if (word == QLatin1String("tmp-full"))
        return UpdateChecker::tr("the disk of the temporary folder %1 is full").arg(temp);
    if (word == QLatin1String("tmp-not-writable"))
        return UpdateChecker::tr("the temporary folder %1 is not writable").arg(temp);
    if (word == QLatin1String("app-full"))
        return UpdateChecker::tr("the disk of %1 is full").arg(appParent);
    if (word == QLatin1String("app-not-writable"))
        return UpdateChecker::tr("%1 is not writable").arg(appParent);
    return UpdateChecker::tr("its files could not be put in place");
}

} // namespace

// A decoded version record; `ok` is false for a body that is not one.
struct UpdateChecker::Record {
    bool ok = false;
    QString version, url, download, notes;
};

QString UpdateChecker::usableTempFolder(const QString& tempPath)
{
    // Qt gives "" for a TMPDIR that names no folder: every path below it would then land in the
    // working folder. The system's own temporary folder stands in; none when it is gone too.
    if (!tempPath.isEmpty() && QDir::isAbsolutePath(tempPath) && QFileInfo(tempPath).isDir())
        return tempPath;
    const QString system = QStringLiteral("/tmp");
    return QFileInfo(system).isDir() ? system : QString();
}

UpdateChecker::Environment UpdateChecker::Environment::live()
{
    Environment env;
    env.baseURL = AppConfig::baseURL();
    env.currentVersion = QStringLiteral(BRINMOOR_VERSION);
    if (env.currentVersion.isEmpty())
        env.currentVersion = QStringLiteral("0");
    env.appFolder = installedAppFolder(QCoreApplication::applicationDirPath());
    env.installProblem = installRefusal(QCoreApplication::applicationDirPath());
    env.tempFolder = usableTempFolder(QDir::tempPath());
    env.pid = QCoreApplication::applicationPid();
    const QString data = Store::forThisBuild().folderPath();
    if (!data.isEmpty())
        env.refusalFile = data + QStringLiteral("/update-refused");
    // The swap restarts the app with the outcome of an update it took back, which reaches it so
    // even when the data folder could not take the report.
    const QStringList args = QCoreApplication::arguments();
    if (args.size() == 4 && args.at(1) == QLatin1String("--update-not-installed"))
        env.restartReport = {args.at(2), args.at(3)};
    env.openURL = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    env.quit = [] { QCoreApplication::quit(); };
    return env;
}

UpdateChecker::UpdateChecker(Environment env, QObject* parent)
    : QObject(parent)
    , m_env(std::move(env))
    , m_network(new QNetworkAccessManager(this))
    , m_parsing(std::make_unique<ThreadQueue>())
{
    // A refusal written by an earlier run, by this checker or by the swap script that took an
    // update back, or handed to this start by that script: the pill says so at once, before the
    // service has answered. The swap's own word for this start comes first.
    QFile file(m_env.refusalFile);
    QString version, word;
    if (!m_env.refusalFile.isEmpty() && file.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> lines = file.read(4096).split('\n');
        file.close();
        version = QString::fromUtf8(lines.value(0)).trimmed();
        word = QString::fromUtf8(lines.value(1)).trimmed();
    }
    const bool fromRestart = m_env.restartReport.size() == 2;
    if (fromRestart) {
        version = m_env.restartReport.at(0).trimmed();
        word = m_env.restartReport.at(1).trimmed();
    }
    if (version.isEmpty() && word.isEmpty() && !file.exists())
        return;
    if (!isSafeVersion(version) || !isNewer(version, m_env.currentVersion)) {
        if (!m_env.refusalFile.isEmpty())
            file.remove();  // installed since, or not ours
        return;
    }
    m_latestVersion = version;
    m_available = true;
    // Kept for later starts as well when the release was at fault (where the data folder takes it).
    refuse(version, word, fromRestart && faultsRelease(word));
    if (!faultsRelease(word)) {
        // A local trouble refuses nothing for good: the pill says why until the check after
        // this start's first one, which downloads the version again; the next start does too.
        m_refusedVersion.clear();
        m_heldVersion = version;
        if (!m_env.refusalFile.isEmpty())
            file.remove();
    }
}

UpdateChecker::~UpdateChecker()
{
    m_parsing.reset();  // the records being read post to this object
    if (m_reply)
        m_reply->abort();
    if (m_unpacker) {
        m_unpacker->wait();
        delete m_unpacker;
    }
}

UpdateChecker& UpdateChecker::shared()
{
    static UpdateChecker* checker = [] {
        auto* c = new UpdateChecker(Environment::live());  // lives for the whole process
        // The swap an accepted "Install Update" asked for starts only once the quit is certain.
        if (auto* app = QCoreApplication::instance())
            QObject::connect(app, &QCoreApplication::aboutToQuit, c, &UpdateChecker::quitting);
        return c;
    }();
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
    // A version record is a few hundred bytes; anything past the cap is not one. The bytes are
    // counted as they come, and the reply buffers little more than one read, so a fast service
    // cannot hand over a whole large body before the count catches it.
    reply->setReadBufferSize(64 * 1024);
    auto body = std::make_shared<QByteArray>();
    // Takes what has arrived; true once it passes the cap.
    const auto take = [reply, body] {
        body->append(reply->read(maxRecordBytes + 1 - body->size()));
        return body->size() > maxRecordBytes;
    };
    connect(reply, &QNetworkReply::metaDataChanged, reply, [reply] {
        bool known = false;
        const qint64 announced = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&known);
        if (known && announced > maxRecordBytes)
            reply->abort();
    });
    connect(reply, &QNetworkReply::readyRead, reply, [reply, take] {
        if (take())
            reply->abort();
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, body, take] {
        reply->deleteLater();
        // An answer with an error status still counts when its body is a record; only a
        // transport failure (no HTTP status at all) ends the check here.
        if (!reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid()) {
            emit checked(QStringLiteral("The update service could not be reached: %1.").arg(reply->errorString()));
            return;
        }
        if (reply->error() == QNetworkReply::OperationCanceledError || take()) {
            emit checked(QStringLiteral("The update service's answer was too large for a version record."));
            return;
        }
        // Decoding a record near the cap takes a while: off this thread, in arrival order. A
        // record that gets no thread ends its check as a failed fetch does; the next check's
        // record gets a thread of its own (a pool of one had counted the refused one as busy, and
        // every later record waited behind it).
        const bool reading = m_parsing->addOrDrop([this, body] {
            Record record = parseRecord(*body);
            QMetaObject::invokeMethod(this, [this, record] { applyRecord(record); }, Qt::QueuedConnection);
        });
        if (!reading) {
            const QString problem = QStringLiteral("The update's version record was not read: %1.").arg(ReadThreads::refusal());
            qWarning("%s", qPrintable(problem));
            emit checked(problem);
        }
    });
}

UpdateChecker::Record UpdateChecker::parseRecord(const QByteArray& body)
{
    Record r;
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return r;
    const QJsonObject o = doc.object();
    if (!o.value(QLatin1String("version")).isString())
        return r;
    r.version = o.value(QLatin1String("version")).toString();
    // The version names the update folder: one that could climb out of it is refused whole.
    r.ok = optionalString(o, "url", &r.url) && optionalString(o, "download", &r.download)
        && optionalString(o, "notes", &r.notes) && isSafeVersion(r.version);
    return r;
}

void UpdateChecker::applyRecord(const Record& record)
{
    if (!record.ok) {
        emit checked(QStringLiteral("The update service's answer was not a version record."));
        return;
    }
    // Said once the record has taken effect, download started or not.
    const auto taken = qScopeGuard([this] { emit checked(QString()); });
    const QString& version = record.version;
    const QString &url = record.url, &download = record.download, &notes = record.notes;
    if (m_latestVersion != version) {
        m_latestVersion = version;
        emit latestVersionChanged();
    }
    if (m_notes != notes) {
        m_notes = notes;
        emit notesChanged();
    }
    const QUrl page = parsedURL(url);
    const QString problem = pageRefusal(url);
    if (m_pageURL != page || m_pageProblem != problem) {
        m_pageURL = page;
        m_pageProblem = problem;
        emit pageURLChanged();
    }
    m_fileURL = parsedURL(download);

    if (!isNewer(version, m_env.currentVersion))
        return;
    if (!m_available) {
        m_available = true;
        emit availableChanged();
    }
    if (!m_refusedVersion.isEmpty()) {
        if (!isNewer(version, m_refusedVersion))
            return;  // the refused release again: the pill keeps saying why, nothing is fetched
        forgetRefusal();
    }
    if (!m_heldVersion.isEmpty()) {
        // Right after an install that failed here, the same version is not fetched at once
        // (the trouble has rarely passed by then); the next check fetches it.
        if (!isNewer(version, std::exchange(m_heldVersion, QString())))
            return;
        forgetRefusal();
    } else if (!m_failure.isEmpty() && m_refusedVersion.isEmpty()) {
        forgetRefusal();  // the local trouble's sentence goes with the new try
    }
    startDownload();
}

void UpdateChecker::refuse(const QString& version, const QString& reason, bool persist)
{
    m_refusedVersion = version;
    const QString why = refusalReason(reason, m_env.tempFolder, m_env.appFolder);
    const QString shownVersion = HiddenCharacters::inSentence(version);
    const QString failure = faultsRelease(reason)
        ? tr("Brinmoor %1 was not installed: %2. This version was kept.").arg(shownVersion, why)
        : tr("Brinmoor %1 was not installed: %2. This version was kept; the update is offered again at a later check.").arg(shownVersion, why);
    if (persist && !m_env.refusalFile.isEmpty()) {
        QSaveFile file(m_env.refusalFile);
        if (file.open(QIODevice::WriteOnly)) {
            file.write(version.toUtf8() + '\n' + reason.toUtf8() + '\n');
            file.commit();
        }
    }
    if (m_failure != failure) {
        m_failure = failure;
        emit failureChanged();
    }
}

void UpdateChecker::forgetRefusal()
{
    m_refusedVersion.clear();
    if (!m_env.refusalFile.isEmpty())
        QFile::remove(m_env.refusalFile);
    if (!m_failure.isEmpty()) {
        m_failure.clear();
        emit failureChanged();
    }
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

QString UpdateChecker::installRefusal(const QString& executableDir)
{
    if (!installedAppFolder(executableDir).isEmpty())
        return QString();
    const QFileInfo bin(executableDir);
    const QFileInfo app(bin.absolutePath());
    if (bin.fileName() != QLatin1String("bin") || app.suffix() != QLatin1String("app") || !app.isDir() || app.isSymLink())
        return tr("Brinmoor does not run from an installed Brinmoor.app folder.");
    const QString folder = QDir::toNativeSeparators(app.isWritable() ? app.absolutePath() : app.absoluteFilePath());
    return tr("Brinmoor can't replace itself: %1 is not writable.").arg(HiddenCharacters::inSentence(folder));
}

QString UpdateChecker::installProblem() const
{
    if (installable())
        return QString();
    return m_env.installProblem.isEmpty() ? tr("Brinmoor does not run from an installed Brinmoor.app folder.") : m_env.installProblem;
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
    // An update this copy cannot put in place would be downloaded and unpacked at every start
    // for nothing: the pill offers the download page instead.
    if (!installable() || !m_fileURL.isValid() || m_fileURL.isEmpty() || m_downloading || m_ready)
        return;
    // Without a temporary folder every path below would name the working folder.
    if (m_env.tempFolder.isEmpty() || !QDir::isAbsolutePath(m_env.tempFolder) || !QFileInfo(m_env.tempFolder).isDir())
        return;
    if (!isSafeVersion(m_latestVersion))
        return;
    m_archive = std::make_unique<QTemporaryFile>(QDir(m_env.tempFolder).filePath(folderPrefix + QStringLiteral("XXXXXX.zip")));
    if (!m_archive->open()) {
        m_archive.reset();
        return;
    }
    m_folder = updateFolder();
    m_fetchedVersion = m_latestVersion;
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
    if (!ok) {
        m_archive.reset();
        setDownloading(false);
        return;
    }

    // Unpacking a release, and removing an update folder (one left by an earlier run, or one
    // refused after unpacking), take long enough to stall the window: an archive within the
    // download cap may hold millions of entries. All of it runs on a worker thread that touches
    // only these paths, and the result comes back to this thread.
    const QString archivePath = m_archive->fileName(), folder = m_folder, tempFolder = m_env.tempFolder;
    const qint64 maxBytes = m_env.maxUnpackedBytes;
    struct Result {
        QString app;
        bool runnable = false;
        bool linksInside = false;
    };
    auto result = std::make_shared<Result>();
    m_unpacker = QThread::create([archivePath, folder, tempFolder, maxBytes, result] {
        // A failed removal leaves a folder we may not own: never unpack into it.
        if (!removeUpdateFolder(folder, tempFolder)
            || !QDir().mkdir(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner))
            return;
        if (unpackArchive(archivePath, folder, maxBytes)) {
            const auto entries = QDir(folder).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
            for (const QFileInfo& e : entries) {
                if (e.suffix() == QLatin1String("app") && !e.isSymLink()) {
                    result->app = e.absoluteFilePath();
                    result->runnable = holdsProgram(result->app);
                    result->linksInside = linksStayInside(result->app);
                    break;
                }
            }
        }
        if (!result->runnable || !result->linksInside)
            removeUpdateFolder(folder, tempFolder);
    });
    connect(m_unpacker, &QThread::finished, this, [this, result] {
        m_unpacker->deleteLater();
        m_unpacker = nullptr;
        // A release without a program to start would cost the user the working app, and one with
        // a link out of its folder would have the installed app run whatever is found there:
        // refused here, before "Install Update" is ever offered.
        const bool usable = result->runnable && result->linksInside;
        if (!result->app.isEmpty() && !result->runnable)
            refuse(m_fetchedVersion, QStringLiteral("not-executable"), true);
        else if (!result->app.isEmpty() && !result->linksInside)
            refuse(m_fetchedVersion, QStringLiteral("link-outside"), true);
        unpacked(usable ? result->app : QString());
    });
    m_unpacker->start();
    // A thread the system refused (its task limit reached) never runs nor finishes: the archive
    // goes as a failed download's does, and the next check fetches it again.
    if (!m_unpacker->isRunning() && !m_unpacker->isFinished()) {
        qWarning("The update could not be unpacked: no thread could be started.");
        delete m_unpacker;
        m_unpacker = nullptr;
        m_archive.reset();
        setDownloading(false);
    }
}

void UpdateChecker::unpacked(const QString& appPath)
{
    m_archive.reset();
    if (!appPath.isEmpty()) {
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

bool UpdateChecker::holdsProgram(const QString& appPath)
{
    // The swap copies the `.app` folder alone: a link that leaves it would dangle there.
    const QString root = QFileInfo(appPath).canonicalFilePath();
    const QString program = QFileInfo(appPath + QStringLiteral("/bin/brinmoor")).canonicalFilePath();
    if (root.isEmpty() || !program.startsWith(root + QLatin1Char('/')))
        return false;
    const QFileInfo info(program);
    return info.isFile() && info.isExecutable();
}

bool UpdateChecker::linksStayInside(const QString& appPath)
{
    // Only the `.app` folder is installed: a link that leads out of it, even one that finds its
    // target beside it in the unpacked release, would lead beside the installed app, where
    // anything may stand. The swap checks the same before it installs (links_inside there).
    namespace fs = std::filesystem;
    const fs::path root(QFile::encodeName(appPath).toStdString());
    std::error_code error;
    if (!fs::is_directory(fs::symlink_status(root, error)))
        return false;
    fs::recursive_directory_iterator it(root, fs::directory_options::none, error), end;
    for (; !error && it != end; it.increment(error)) {
        if (it->is_symlink(error) && !resolvesInside(root, it->path().lexically_relative(root)))
            return false;
        if (error)
            return false;
    }
    return !error;  // a folder that could not be read through is not known to be safe
}

bool UpdateChecker::install()
{
    if (m_ready && !m_newAppPath.isEmpty() && !m_env.appFolder.isEmpty() && QFileInfo(m_newAppPath).isDir()
        && !swapScript().isEmpty() && QFileInfo(QStringLiteral("/bin/bash")).isExecutable()) {
        // Only a request: the quit may still be declined (changes that cannot be saved), and a
        // swap already waiting for this process would then install the update at the user's next
        // ordinary quit. quitting() starts it once the quit is certain; cancelInstall() drops it.
        m_installRequested = true;
        // A build on trial asked by its user to install: a quit the user asked for.
        UpdateHandshake::confirmUserQuit();
        if (m_env.quit)
            m_env.quit();
        return true;
    }
    return openPage();
}

void UpdateChecker::cancelInstall()
{
    m_installRequested = false;
}

void UpdateChecker::quitting()
{
    if (!m_installRequested || m_swapStarted)
        return;
    m_installRequested = false;
    // A copy of the app that the user starts while the swap runs unpacks the release into the
    // update folder again: the swap gets it in a folder of its own, which no check touches, moved
    // there while this process still holds the data folder (no copy has started yet).
    QString release = m_newAppPath;
    QTemporaryDir handover(QDir(m_env.tempFolder).filePath(QStringLiteral("BrinmoorInstall-XXXXXX")));
    if (handover.isValid()) {
        handover.setAutoRemove(false);
        const QString moved = handover.filePath(QFileInfo(m_newAppPath).fileName());
        if (QDir().rename(m_newAppPath, moved))
            release = moved;
        else
            handover.remove();
    }
    // The script tries the new build before it lets the old one go; when it takes the update
    // back it writes the refusal file, which the restarted app reads.
    const QStringList args{QStringLiteral("-c"), swapScript(), QStringLiteral("brinmoor-swap"),
                           QString::number(m_env.pid), m_env.appFolder, release,
                           m_env.refusalFile, m_fetchedVersion, QString::number(m_env.startTimeoutSeconds),
                           QString::number(m_env.settleSeconds)};
    m_swapStarted = startDetached(QStringLiteral("/bin/bash"), args);
}

QString UpdateChecker::pageRefusal(const QString& address)
{
    if (address.isEmpty())
        return QString();
    const QUrl url(address, QUrl::StrictMode);
    if (WebLinks::isServiceAddress(url))
        return QString();
    // The sentence names the scheme and the host only: both are plain characters once parsed,
    // while the address as written comes from the web service and could hold anything.
    const QString scheme = url.scheme().toLower();
    QString why;
    if (!url.isValid() || scheme.isEmpty())
        why = tr("its address is not a web address");
    else if ((scheme == QLatin1String("http") || scheme == QLatin1String("https")) && url.host().isEmpty())
        why = tr("its address names no host");
    else if (scheme == QLatin1String("http"))
        why = tr("its address is plain http to %1, not https").arg(HiddenCharacters::inSentence(url.host()));
    else
        why = tr("its address is %1:, not https").arg(scheme);
    return tr("The download page can't be opened: ") + why + QLatin1Char('.');
}

bool UpdateChecker::openPage()
{
    if (m_pageURL.isEmpty() || !WebLinks::isServiceAddress(m_pageURL) || !m_env.openURL)
        return false;
    m_env.openURL(m_pageURL);
    return true;
}

} // namespace brinmoor
