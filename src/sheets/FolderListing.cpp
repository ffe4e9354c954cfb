#include "FolderListing.h"

#include "ProviderDetection.h"
#include "ReadThreads.h"

#include <QFile>
#include <QThreadPool>

#include <algorithm>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace brinmoor {

namespace {

// A listing this long is worth handing back to the system once dropped.
constexpr qsizetype bigListing = 10000;

// glibc keeps what a pool thread allocated in that thread's arena after it is freed, and gives an
// arena back only when asked: without this, every visit to a huge folder would keep its
// listing's size for good.
void giveBackFreedMemory()
{
#ifdef __GLIBC__
    ::malloc_trim(0);
#endif
}

// A listing let go: a big one is freed, and its memory handed back, on a pool thread. Freeing a
// million names and trimming the heap after them takes a quarter of a second or more, which on
// the GUI thread would freeze the window as the chooser closes.
void letGo(QList<FolderListing::Entry>&& entries)
{
    if (entries.size() < bigListing) {
        entries = {};
        return;
    }
    QThreadPool::globalInstance()->start([old = std::move(entries)]() mutable {
        old = {};
        giveBackFreedMemory();
    });
}

bool isDotOrDotDot(const char* n)
{
    return n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0'));
}

} // namespace

FolderListing::FolderListing(QObject* parent) : QAbstractListModel(parent) {}

FolderListing::~FolderListing()
{
    if (m_all.size() >= bigListing) {
        m_all = {};
        m_shown = {};
        giveBackFreedMemory();
    }
}

QList<FolderListing::Entry> FolderListing::read(const QString& folder)
{
    QList<Entry> out;
    if (folder.isEmpty())
        return out;
    // The directory's own entries, with the type most file systems store in them: no per-entry
    // file information is built, and only links and entries of unknown type cost a stat.
    DIR* dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return out;
    const int fd = ::dirfd(dir);
    while (const dirent* e = ::readdir(dir)) {
        const char* name = e->d_name;
        if (isDotOrDotDot(name))
            continue;
        bool isFolder = e->d_type == DT_DIR;
        if (e->d_type == DT_LNK || e->d_type == DT_UNKNOWN) {
            struct stat st {};
            isFolder = ::fstatat(fd, name, &st, 0) == 0 && S_ISDIR(st.st_mode);
        }
        if (!isFolder)
            continue;
        bool hidden = name[0] == '.';
#if defined(Q_OS_MACOS) && defined(UF_HIDDEN)
        // The Finder's own hidden flag.
        struct stat flags {};
        hidden = hidden || (::fstatat(fd, name, &flags, 0) == 0 && (flags.st_flags & UF_HIDDEN));
#endif
        out.append({QFile::decodeName(name), hidden});
    }
    ::closedir(dir);
    std::sort(out.begin(), out.end(), [](const Entry& a, const Entry& b) {
        const int c = a.name.compare(b.name, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a.name < b.name;
    });
    return out;
}

void FolderListing::setFolder(const QString& folder)
{
    if (folder == m_folder)
        return;
    m_folder = folder;
    emit folderChanged();
    refresh();
}

void FolderListing::setShowHidden(bool show)
{
    if (show == m_showHidden)
        return;
    m_showHidden = show;
    emit showHiddenChanged();
    this->show();
}

int FolderListing::hiddenCount() const
{
    return m_showHidden ? 0 : int(std::count_if(m_all.cbegin(), m_all.cend(), [](const Entry& e) { return e.hidden; }));
}

void FolderListing::refresh()
{
    const quint64 request = ++m_request;
    setLoading(true);
    // A read that gets no thread answers none, so that the chooser says so rather than showing
    // the folder as empty.
    runProbe<std::optional<QList<Entry>>>(
        this, [folder = m_folder] { return std::optional<QList<Entry>>(read(folder)); },
        [this, request](std::optional<QList<Entry>> entries) { apply(request, std::move(entries)); },
        [] { return std::optional<QList<Entry>>(); });
}

void FolderListing::apply(quint64 request, std::optional<QList<Entry>> entries)
{
    if (request != m_request) {
        // An answer no longer wanted (the chooser closed, or went elsewhere, while the folder was
        // read) gives its memory back like a dropped listing.
        if (entries)
            letGo(std::move(*entries));
        return;
    }
    setProblem(entries ? QString() : QStringLiteral("This folder could not be read: %1.").arg(ReadThreads::refusal()));
    replace(entries ? std::move(*entries) : QList<Entry>());
    setLoading(false);
}

void FolderListing::setProblem(const QString& problem)
{
    if (problem == m_problem)
        return;
    m_problem = problem;
    emit problemChanged();
}

void FolderListing::drop()
{
    ++m_request;  // an answer still on its way is not wanted either
    setProblem(QString());
    replace({});
    setLoading(false);
}

void FolderListing::replace(QList<Entry> entries)
{
    show(&entries);
    letGo(std::move(entries));  // the listing shown before
}

void FolderListing::show(QList<Entry>* entries)
{
    const QList<Entry>& all = entries ? *entries : m_all;
    // Built anew, not cleared: a cleared list keeps its capacity.
    QList<int> shown;
    for (int row = 0; row < all.size(); ++row)
        if (m_showHidden || !all.at(row).hidden)
            shown.append(row);
    beginResetModel();
    if (entries)
        std::swap(m_all, *entries);
    m_shown = std::move(shown);
    endResetModel();
    emit countChanged();
}

int FolderListing::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_shown.size());
}

QVariant FolderListing::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_shown.size())
        return {};
    const Entry& e = m_all.at(m_shown.at(index.row()));
    switch (role) {
    case NameRole:
    case Qt::DisplayRole:
        return e.name;
    case HiddenRole:
        return e.hidden;
    }
    return {};
}

QHash<int, QByteArray> FolderListing::roleNames() const
{
    return {{NameRole, "name"}, {HiddenRole, "hidden"}};
}

QStringList FolderListing::names() const
{
    QStringList out;
    out.reserve(m_shown.size());
    for (int row : m_shown)
        out.append(m_all.at(row).name);
    return out;
}

void FolderListing::setLoading(bool loading)
{
    if (loading == m_loading)
        return;
    m_loading = loading;
    emit loadingChanged();
}

int FolderListing::indexOf(const QString& name) const
{
    for (int row = 0; row < m_shown.size(); ++row)
        if (m_all.at(m_shown.at(row)).name == name)
            return row;
    return -1;
}

QString FolderListing::nameAt(int row) const
{
    return row >= 0 && row < m_shown.size() ? m_all.at(m_shown.at(row)).name : QString();
}

bool FolderListing::isHidden(int row) const
{
    return row >= 0 && row < m_shown.size() && m_all.at(m_shown.at(row)).hidden;
}

} // namespace brinmoor
