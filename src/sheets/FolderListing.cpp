#include "FolderListing.h"

#include "ProviderDetection.h"

#include <QFile>

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

bool isDotOrDotDot(const char* n)
{
    return n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0'));
}

} // namespace

FolderListing::FolderListing(QObject* parent) : QObject(parent) {}

FolderListing::~FolderListing()
{
    if (m_all.size() >= bigListing) {
        m_all = {};
        m_shown = {};
        m_names = {};
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
    runProbe<QList<Entry>>(
        this, [folder = m_folder] { return read(folder); },
        [this, request](QList<Entry> entries) { apply(request, std::move(entries)); });
}

void FolderListing::apply(quint64 request, QList<Entry> entries)
{
    if (request != m_request)
        return;
    replace(std::move(entries));
    setLoading(false);
}

void FolderListing::drop()
{
    ++m_request;  // an answer still on its way is not wanted either
    replace({});
    setLoading(false);
}

void FolderListing::replace(QList<Entry> entries)
{
    const bool big = m_all.size() >= bigListing;
    m_all = std::move(entries);
    show();
    if (big)
        giveBackFreedMemory();
}

void FolderListing::show()
{
    // Built anew, not cleared: a cleared list keeps its capacity.
    QList<int> shown;
    QStringList names;
    for (int row = 0; row < m_all.size(); ++row) {
        if (m_showHidden || !m_all.at(row).hidden) {
            shown.append(row);
            names.append(m_all.at(row).name);
        }
    }
    m_shown = std::move(shown);
    m_names = std::move(names);
    emit countChanged();
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
    return int(m_names.indexOf(name));
}

QString FolderListing::nameAt(int row) const
{
    return m_names.value(row);
}

bool FolderListing::isHidden(int row) const
{
    return row >= 0 && row < m_shown.size() && m_all.at(m_shown.at(row)).hidden;
}

} // namespace brinmoor
