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

    explicit Store(bool isDev);
    // The store of this build (development or released data folder).
    static Store forThisBuild();

    // The saved snapshot; none when the file is missing or does not decode. A file that exists
    // but does not decode is moved aside (state.json.unreadable-<UTC time>) so that the next
    // save cannot destroy the user's workspaces; `movedAsidePath()` then names it.
    std::optional<Snapshot> load();
    // Writes the whole snapshot atomically; failures are ignored (the next save tries again).
    // Returns whether the file was written.
    bool save(const Snapshot& snapshot) const;

    // The data folder (created, with its parents, each time it is computed) and the file in it.
    QString folderPath() const;
    QString filePath() const;
    bool isDev() const { return m_isDev; }
    QString movedAsidePath() const { return m_movedAside; }

    // The file's exact bytes for a snapshot: pretty-printed, keys sorted, every "/" escaped as
    // "\/", upper-case UUIDs, optional keys only when set.
    static QByteArray encode(const Snapshot& snapshot);
    // Strict decoding: malformed JSON, a missing required key, a value of the wrong JSON type or
    // a bad UUID fails the whole file. A present null counts as an absent optional key.
    static std::optional<Snapshot> decode(const QByteArray& bytes, QString* error = nullptr);

private:
    bool m_isDev;
    QString m_movedAside;
};

} // namespace brinmoor
