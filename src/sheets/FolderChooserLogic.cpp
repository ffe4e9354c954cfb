#include "FolderChooserLogic.h"

#include "HiddenCharacters.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace brinmoor {

QString FolderChooserLogic::startFolder(const QString& selected, const QStringList& recents, const QString& home)
{
    // A recent folder may have been moved or deleted since it was used.
    QStringList candidates{selected};
    candidates << recents;
    for (const QString& c : std::as_const(candidates))
        if (!c.isEmpty() && QDir::isAbsolutePath(c) && QFileInfo(c).isDir())
            return QDir::cleanPath(c);
    if (!home.isEmpty() && QFileInfo(home).isDir())
        return QDir::cleanPath(home);
    return QDir::rootPath();
}

QString FolderChooserLogic::typedPath(const QString& text, const QString& base, const QString& home)
{
    QString t = text.trimmed();
    // A path copied from a shell often comes quoted.
    if (t.size() >= 2 && t.front() == t.back() && (t.front() == QLatin1Char('\'') || t.front() == QLatin1Char('"')))
        t = t.mid(1, t.size() - 2);
    if (t.startsWith(QLatin1String("file:"))) {
        const QUrl url(t);
        if (url.isLocalFile())
            t = url.toLocalFile();
    }
    if (t == QLatin1String("~"))
        t = home;
    else if (t.startsWith(QLatin1String("~/")))
        t = home + t.mid(1);
    if (t.isEmpty())
        return {};
    if (QDir::isRelativePath(t))
        t = base + QLatin1Char('/') + t;
    return QDir::cleanPath(t);
}

QString FolderChooserLogic::folderProblem(const QString& path)
{
    if (path.isEmpty())
        return tr("Type the path of a folder.");
    const QFileInfo info(path);
    if (!info.exists())
        return tr("There is no folder at %1.").arg(HiddenCharacters::inSentence(path));
    if (!info.isDir())
        return tr("%1 is a file, not a folder.").arg(HiddenCharacters::inSentence(path));
    // Listing a folder needs both: reading its entries and passing through it.
    if (!info.isReadable() || !info.isExecutable())
        return tr("%1 cannot be opened: permission denied.").arg(HiddenCharacters::inSentence(path));
    return {};
}

QString FolderChooserLogic::folderName(const QString& typed)
{
    return typed.trimmed();
}

QString FolderChooserLogic::makeFolder(const QString& parent, const QString& typed)
{
    const QString name = folderName(typed);
    if (name.isEmpty())
        return tr("Type a name for the new folder.");
    if (name.contains(QLatin1Char('/')))
        return tr("A folder's name cannot hold “/”.");
    if (name == QLatin1String(".") || name == QLatin1String(".."))
        return tr("“%1” cannot be a folder's name.").arg(HiddenCharacters::inSentence(name));
    const QString path = joinPath(parent, name);
    if (QFileInfo::exists(path))
        return tr("“%1” already exists here.").arg(HiddenCharacters::inSentence(name));
    // The system's own reason (permission denied, read-only file system, no space left) is what
    // the user can act on.
    if (::mkdir(QFile::encodeName(path).constData(), 0777) != 0)
        return tr("“%1” could not be made: %2.").arg(HiddenCharacters::inSentence(name), QString::fromLocal8Bit(std::strerror(errno)));
    return {};
}

QString FolderChooserLogic::start(const QString& selected, const QStringList& recents) const
{
    return startFolder(selected, recents, QDir::homePath());
}

QString FolderChooserLogic::resolve(const QString& text, const QString& base) const
{
    return typedPath(text, base, QDir::homePath());
}

QString FolderChooserLogic::parentOf(const QString& path) const
{
    const QString clean = QDir::cleanPath(path);
    if (clean.isEmpty() || QDir(clean).isRoot())
        return {};
    return QFileInfo(clean).path();
}

QString FolderChooserLogic::joinPath(const QString& folder, const QString& name)
{
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

} // namespace brinmoor
