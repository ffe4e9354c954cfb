#pragma once

#include <QAbstractListModel>
#include <QList>
#include <QString>
#include <QStringList>
#include <QtQml/qqml.h>
#include <QtQml/qqmlregistration.h>

#include <optional>

// Qt's item model as a type QML tooling knows, so a listing made in QML has a known base.
struct QAbstractItemModelForeign {
    Q_GADGET
    QML_FOREIGN(QAbstractItemModel)
    QML_ANONYMOUS
};

namespace brinmoor {

// The folders of one folder, for the folder chooser. They are read on a pool thread, so a folder
// of thousands of entries or a slow mount never holds the window, and only the answer to the
// latest request is shown: going through folders quickly never leaves the list of an earlier one
// under the path of a later one. A listing keeps one name and one flag per folder, nothing more: a
// folder may hold a million. It is itself the list's model (roles "name" and "hidden"): a view
// asks for the rows it draws, so no script array of the names is ever made, and what a listing
// took is given back when it is dropped, not when the script engine next collects.
class FolderListing : public QAbstractListModel {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QString folder READ folder WRITE setFolder NOTIFY folderChanged)
    Q_PROPERTY(bool showHidden READ showHidden WRITE setShowHidden NOTIFY showHiddenChanged)
    Q_PROPERTY(int count READ count NOTIFY countChanged)
    // Folders left out because they are hidden (0 while they are shown).
    Q_PROPERTY(int hiddenCount READ hiddenCount NOTIFY countChanged)
    // A read of `folder` is under way; what is listed is still the last one's.
    Q_PROPERTY(bool loading READ loading NOTIFY loadingChanged)
    // Why the last read gave no listing though the folder may well hold some (no thread could be
    // started for it); "" otherwise.
    Q_PROPERTY(QString problem READ problem NOTIFY problemChanged)

public:
    struct Entry {
        QString name;
        bool hidden = false;
    };

    enum Role {
        NameRole = Qt::UserRole + 1,  // the folder's name
        HiddenRole,                   // a hidden folder, drawn fainter
    };

    explicit FolderListing(QObject* parent = nullptr);
    ~FolderListing() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    // The folders in `folder` (links to folders too), hidden ones included, by name regardless of
    // case. Blocking; nothing for a folder that cannot be read.
    static QList<Entry> read(const QString& folder);

    QString folder() const { return m_folder; }
    void setFolder(const QString& folder);
    bool showHidden() const { return m_showHidden; }
    void setShowHidden(bool show);
    // The names of the folders shown, by name regardless of case (for C++ callers and tests).
    QStringList names() const;
    int count() const { return int(m_shown.size()); }
    int hiddenCount() const;
    bool loading() const { return m_loading; }
    QString problem() const { return m_problem; }

    // The row of the folder named `name`, or -1.
    Q_INVOKABLE int indexOf(const QString& name) const;
    Q_INVOKABLE QString nameAt(int row) const;
    // A hidden folder (a dot folder, or one marked hidden) is drawn fainter.
    Q_INVOKABLE bool isHidden(int row) const;
    // Reads the folder again (after a folder was made in it).
    Q_INVOKABLE void refresh();
    // Forgets what was listed, and any read under way, and gives the memory back (the chooser
    // closed); `refresh` reads the folder again.
    Q_INVOKABLE void drop();

signals:
    void folderChanged();
    void showHiddenChanged();
    void countChanged();
    void loadingChanged();
    void problemChanged();

private:
    // The answer to `request`: the entries read, or none when the read got no thread.
    void apply(quint64 request, std::optional<QList<Entry>> entries);
    void setProblem(const QString& problem);
    // Replaces the listing; a big one let go is freed, and its memory given back to the system,
    // on a pool thread.
    void replace(QList<Entry> entries);
    // Shows the folders of `entries` (taking them; the old listing is left there) or, with none,
    // of the listing held, hidden ones as asked.
    void show(QList<Entry>* entries = nullptr);
    void setLoading(bool loading);

    QString m_folder;
    bool m_showHidden = false;
    bool m_loading = false;
    QString m_problem;
    QList<Entry> m_all;
    QList<int> m_shown;     // the rows of m_all shown, in order
    quint64 m_request = 0;  // the latest read asked for; older answers are dropped
};

} // namespace brinmoor
