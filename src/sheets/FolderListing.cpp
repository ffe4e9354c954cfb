#include "FolderListing.h"

#include "ProviderDetection.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace brinmoor {

FolderListing::FolderListing(QObject* parent) : QObject(parent) {}

QList<FolderListing::Entry> FolderListing::read(const QString& folder)
{
    QList<Entry> out;
    if (folder.isEmpty())
        return out;
    const QFileInfoList infos = QDir(folder).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden,
                                                           QDir::Name | QDir::IgnoreCase);
    out.reserve(infos.size());
    for (const QFileInfo& info : infos)
        out.append({info.fileName(), info.isHidden()});
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
        [this, request](const QList<Entry>& entries) { apply(request, entries); });
}

void FolderListing::apply(quint64 request, const QList<Entry>& entries)
{
    if (request != m_request)
        return;
    m_all = entries;
    show();
    setLoading(false);
}

void FolderListing::show()
{
    m_shown.clear();
    for (const Entry& e : std::as_const(m_all))
        if (m_showHidden || !e.hidden)
            m_shown.append(e);
    emit countChanged();
}

void FolderListing::setLoading(bool loading)
{
    if (loading == m_loading)
        return;
    m_loading = loading;
    emit loadingChanged();
}

QStringList FolderListing::names() const
{
    QStringList out;
    out.reserve(m_shown.size());
    for (const Entry& e : m_shown)
        out << e.name;
    return out;
}

int FolderListing::indexOf(const QString& name) const
{
    const auto it = std::find_if(m_shown.cbegin(), m_shown.cend(), [&name](const Entry& e) { return e.name == name; });
    return it == m_shown.cend() ? -1 : int(it - m_shown.cbegin());
}

QString FolderListing::nameAt(int row) const
{
    return row >= 0 && row < m_shown.size() ? m_shown.at(row).name : QString();
}

bool FolderListing::isHidden(int row) const
{
    return row >= 0 && row < m_shown.size() && m_shown.at(row).hidden;
}

} // namespace brinmoor
