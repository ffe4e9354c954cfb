#pragma once

#include "Models.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace brinmoor {

// The saved state: workspaces with their sessions, the selected workspace and the recent folders,
// kept in one JSON file, "state.json", in the data folder ("Brinmoor", or "Brinmoor-Dev" for a
// development build). Read once at start, rewritten in full after every structural change.
class Store {
public:
    struct Snapshot {
        QList<Workspace> workspaces;
        std::optional<QUuid> selected;
        QStringList recents;
    };

    // What one load kept and what it left out. Sessions and workspaces that cannot be read are
    // skipped one by one; over-long texts are cut to their bound and malformed conversation ids
    // dropped. Whenever the loaded snapshot differs from the file, the original is kept aside.
    struct LoadReport {
        bool unreadable = false;   // the file as a whole could not be read: nothing was loaded
        int skippedWorkspaces = 0;
        int skippedSessions = 0;   // in workspaces that were kept
        int shortened = 0;         // texts cut, ids and recent folders dropped
        QStringList problems;      // one line each, for the log
        QString keptAt;            // where the original file was moved or copied; "" if nowhere

        bool isClean() const { return !unreadable && skippedWorkspaces == 0 && skippedSessions == 0 && shortened == 0; }
        // A short sentence or two for the window; "" when the load was clean.
        QString notice() const;
    };

    // Bounds on what a load takes from the file.
    static constexpr qsizetype maxNameLength = 256;     // workspace names, projects, labels, groups
    static constexpr qsizetype maxPathLength = 4096;    // directories and recent folders
    static constexpr qsizetype maxIdLength = 128;       // conversation ids
    static constexpr qsizetype maxColorLength = 9;      // six hex digits, perhaps with "#" and alpha
    static constexpr const char* defaultColorHex = "5b8cee";  // in place of a colour that is none
    static constexpr qsizetype maxRecents = 8;
    static constexpr qint64 maxFileBytes = 64ll << 20;

    // The same bounds where a name, path or id enters the model (AppModel), so that the app never
    // writes what a load would cut or drop: a file the app wrote loads whole, without a notice.
    // A name cut to maxNameLength UTF-16 units, never between the halves of a surrogate pair.
    static QString boundedName(const QString& name);
    // A conversation id a load keeps: one token of printable ASCII, at most maxIdLength long.
    static bool isConversationId(const QString& id);
    // A conversation's figures a load keeps: non-negative, the counts whole and below 2^53.
    static bool areSavableFigures(const ChatFigures& figures);

    explicit Store(bool isDev);
    // The store of this build (development or released data folder).
    static Store forThisBuild();

    // The saved snapshot; none when the file is missing or cannot be read at all. A file that
    // exists but cannot be read is moved aside (state.json.unreadable-<UTC time>) so that the
    // next save cannot destroy the user's workspaces; one that loads only in part is copied there
    // instead. `movedAsidePath()` then names it, and `lastLoad()` says what was left out (also
    // written to stderr).
    std::optional<Snapshot> load();
    // Writes the whole snapshot atomically. Returns whether the file was written; when it was not,
    // `error` receives the system's reason (the file as it was stays in place).
    bool save(const Snapshot& snapshot, QString* error = nullptr) const;

    // The data folder (created, with its parents, each time it is computed) and the file in it.
    QString folderPath() const;
    QString filePath() const;
    bool isDev() const { return m_isDev; }
    QString movedAsidePath() const { return m_report.keptAt; }
    const LoadReport& lastLoad() const { return m_report; }

    // The file's exact bytes for a snapshot: pretty-printed, keys sorted, every "/" escaped as
    // "\/", upper-case UUIDs, optional keys only when set.
    static QByteArray encode(const Snapshot& snapshot);
    // Decoding: malformed JSON or a bad top level (a missing "workspaces" or "recents", a bad
    // "selected") fails the whole file. Below it, a workspace or session with a missing required
    // key, a value of the wrong JSON type, a bad UUID or an unknown kind or provider is skipped
    // and counted in `report`. A present null counts as an absent optional key.
    static std::optional<Snapshot> decode(const QByteArray& bytes, QString* error = nullptr,
                                          LoadReport* report = nullptr);

private:
    bool m_isDev;
    LoadReport m_report;
};

} // namespace brinmoor
