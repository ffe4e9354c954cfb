#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

#include <functional>
#include <memory>

class QJSEngine;
class QNetworkAccessManager;
class QNetworkReply;
class QQmlEngine;
class QTemporaryFile;
class QThread;

namespace brinmoor {

class ThreadQueue;

// Keeps the application current from its web service: fetches the version record at start and
// every six hours, downloads and unpacks a newer release folder in the background, and on
// request swaps the installed `Brinmoor.app` folder for it and relaunches.
//
// A failure leaves the published state as it was, and shows nothing, with one exception: a
// release that cannot run or must not (its program is not an executable file inside its folder, a
// link in it leads out of the folder, or it did not start, crashed or closed by itself soon after
// when the swap tried it) is refused, and `failure` says so until a newer version appears.
// All state changes happen on the thread that owns the checker (the main thread).
class UpdateChecker : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(bool available READ available NOTIFY availableChanged)
    Q_PROPERTY(QString latestVersion READ latestVersion NOTIFY latestVersionChanged)
    Q_PROPERTY(QString notes READ notes NOTIFY notesChanged)
    Q_PROPERTY(bool downloading READ downloading NOTIFY downloadingChanged)
    Q_PROPERTY(bool ready READ ready NOTIFY readyChanged)
    Q_PROPERTY(QUrl pageURL READ pageURL NOTIFY pageURLChanged)
    // Why the last record's page address is not opened (not https, or plain http to a host that is
    // not this machine): one sentence for the update pill; "" when it is opened or none was named.
    Q_PROPERTY(QString pageProblem READ pageProblem NOTIFY pageURLChanged)
    // The running build sits in a folder an update may replace; otherwise installing opens the page.
    Q_PROPERTY(bool installable READ installable CONSTANT)
    // Why it cannot replace itself (one sentence: a folder that is not writable, or no installed
    // `Brinmoor.app` folder); "" when installable. Nothing is downloaded then.
    Q_PROPERTY(QString installProblem READ installProblem CONSTANT)
    // Why the announced version was not installed (refused before the swap, or taken back after
    // its program did not start): one sentence for the update pill; "" when none. When the
    // release was at fault it stays, and that version is not fetched again, until a record
    // announces a newer one; a trouble of this machine (a full or read-only disk, another copy of
    // the app started during the swap) holds the version back for one check only, and the
    // sentence goes when it is fetched again. The swap's word reaches the restarted app as
    // arguments too, so a data folder that took no report loses nothing.
    Q_PROPERTY(QString failure READ failure NOTIFY failureChanged)
public:
    // What the checker takes from its surroundings. live() describes the running process; tests
    // point it at a loopback server, temporary folders and recording callbacks.
    struct Environment {
        QString baseURL;         // the web service (AppConfig::baseURL())
        QString currentVersion;  // the running build's version
        QString appFolder;       // the writable `*.app` folder the executable runs from, or ""
        QString installProblem;  // when appFolder is "": why (installRefusal())
        QString tempFolder;      // where update folders are made (absolute; "" downloads nothing)
        qint64 pid = 0;          // the process the swap waits for
        std::function<void(const QUrl&)> openURL;  // opens the download page in the browser
        std::function<void()> quit;                // ends the application
        qint64 maxDownloadBytes = 512ll << 20;
        qint64 maxUnpackedBytes = 2048ll << 20;
        int downloadTimeoutMs = 15 * 60 * 1000;    // the whole transfer, stalled or not
        int requestTimeoutMs = 12 * 1000;          // the version record
        // Where a refused version is remembered across starts; the swap script writes it when it
        // takes an update back. "" remembers it for this process only.
        QString refusalFile;
        int startTimeoutSeconds = 60;  // how long the swap waits for the new build's window
        // How long the new build must keep running after its window is up before the swap lets
        // the previous folder go; a crash before then takes the update back.
        int settleSeconds = 20;
        // What the swap that restarted this process says of the update it took back: {version,
        // reason word}, from the arguments --update-not-installed <version> <reason>; empty
        // otherwise. It counts even when the swap could not write the refusal file.
        QStringList restartReport;
        static Environment live();
    };

    explicit UpdateChecker(Environment env, QObject* parent = nullptr);
    ~UpdateChecker() override;

    static UpdateChecker& shared();
    static UpdateChecker* create(QQmlEngine*, QJSEngine*);

    // Checks at once; the first call also schedules a check every six hours.
    Q_INVOKABLE void start();
    // Requests the version record ("api/app/version" below the base address) and applies it.
    Q_INVOKABLE void check();
    // With a ready update: asks the application to quit, and the swap starts once it does
    // (quitting()). Otherwise (or when the app does not run from an installed folder it may
    // replace) opens the download page when one is known. False when it did neither.
    Q_INVOKABLE bool install();
    // The quit that install() asked for was declined: no swap will start.
    Q_INVOKABLE void cancelInstall();
    // The application is about to quit: starts the swap when install() asked for one and it was
    // not cancelled since; at most one per process. Connected to aboutToQuit for the shared checker.
    void quitting();
    // Opens the download page in the browser when the record named a safe one (https, or http
    // to a loopback host); false otherwise.
    Q_INVOKABLE bool openPage();

    QString manifestURL() const;
    // The running build's version ("0" when the build names none).
    QString currentVersion() const { return m_env.currentVersion; }
    bool isScheduled() const { return m_timer != nullptr; }
    static constexpr int checkIntervalSeconds = 21600;

    // True when `version` is newer than `than`, comparing "."-separated numbers.
    static bool isNewer(const QString& version, const QString& than);
    // `tempPath` when it is an existing absolute folder, else the system's temporary folder
    // (/tmp), else "".
    static QString usableTempFolder(const QString& tempPath);
    // A version that may name a folder: only [A-Za-z0-9._+-], and neither "." nor "..".
    static bool isSafeVersion(const QString& version);
    // The `*.app` folder above `executableDir` (its "bin"), when both it and the folder that holds
    // it are writable; "" otherwise (a build tree, a system install).
    static QString installedAppFolder(const QString& executableDir);
    // Why installedAppFolder(executableDir) is "", as one sentence; "" when it is not.
    static QString installRefusal(const QString& executableDir);
    // Unpacks the zip at `archive` into the existing folder `target`, refusing absolute paths,
    // ".." and writes through links; false on any archive error or when the unpacked size would
    // pass `maxBytes`. Safe to run on any thread.
    static bool unpackArchive(const QString& archive, const QString& target, qint64 maxBytes);
    // The script that swaps the folders: bash -c <script> brinmoor-swap <pid> <installed> <new>
    // [<refusal file> <version> [<seconds> [<settle seconds>]]].
    static QString swapScript();
    // Whether the `*.app` folder at `appPath` could run once copied alone: its bin/brinmoor,
    // links followed, is an executable file inside the folder.
    static bool holdsProgram(const QString& appPath);
    // Whether every link in the `*.app` folder at `appPath` leads to a place inside it, followed
    // link by link without ever leaving it (a link that leads out and back in depends on what
    // stands beside the folder). False too when the folder cannot be read through.
    static bool linksStayInside(const QString& appPath);
    // The version record's size limit; a longer answer is refused as it arrives.
    static constexpr qint64 maxRecordBytes = 1 << 20;
    // Why a record's page address would not be opened, as the pill says it; "" for an address that
    // is opened, or for none.
    static QString pageRefusal(const QString& address);

    bool available() const { return m_available; }
    QString latestVersion() const { return m_latestVersion; }
    QString notes() const { return m_notes; }
    bool downloading() const { return m_downloading; }
    bool ready() const { return m_ready; }
    QUrl pageURL() const { return m_pageURL; }
    QString pageProblem() const { return m_pageProblem; }
    bool installable() const { return !m_env.appFolder.isEmpty(); }
    QString installProblem() const;
    QUrl fileURL() const { return m_fileURL; }
    QString newAppPath() const { return m_newAppPath; }
    QString failure() const { return m_failure; }

signals:
    void availableChanged();
    void latestVersionChanged();
    void notesChanged();
    void downloadingChanged();
    void readyChanged();
    void pageURLChanged();
    void failureChanged();
    // A check has ended: `problem` says why its record was not taken (the service could not be
    // reached, the answer was no version record, no thread could be started to read it), "" when
    // it was. The published state changes only with a record taken.
    void checked(const QString& problem);

private:
    struct Record;
    static Record parseRecord(const QByteArray& body);
    void applyRecord(const Record& record);
    // Remembers `version` as refused for `reason` (one of the swap script's words), in the
    // refusal file too when `persist`.
    void refuse(const QString& version, const QString& reason, bool persist);
    void forgetRefusal();
    void startDownload();
    void finishDownload(bool ok);
    void unpacked(const QString& appPath);
    void setDownloading(bool on);
    QString updateFolder() const;

    Environment m_env;
    QNetworkAccessManager* m_network = nullptr;
    bool m_available = false;
    QString m_latestVersion;
    QString m_notes;
    bool m_downloading = false;
    bool m_ready = false;
    QUrl m_pageURL;
    QString m_pageProblem;
    QUrl m_fileURL;
    QString m_newAppPath;
    QTimer* m_timer = nullptr;

    // The download in flight: the reply, the file it is written to, its overall deadline and
    // the folder it will be unpacked into.
    QPointer<QNetworkReply> m_reply;
    std::unique_ptr<QTemporaryFile> m_archive;
    QTimer* m_deadline = nullptr;
    qint64 m_received = 0;
    QString m_folder;
    QString m_fetchedVersion;  // the version in that folder
    QThread* m_unpacker = nullptr;
    // Version records are parsed here, one at a time and in the order they arrived.
    std::unique_ptr<ThreadQueue> m_parsing;
    QString m_refusedVersion;
    QString m_heldVersion;  // not fetched by the next check: its install just failed on this machine
    QString m_failure;
    bool m_installRequested = false;
    bool m_swapStarted = false;
};

} // namespace brinmoor
