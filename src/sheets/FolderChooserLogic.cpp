#include "FolderChooserLogic.h"

#include "HiddenCharacters.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUtf8StringView>

#include <cerrno>
#include <cstring>
#include <dirent.h>
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

namespace {

// Whether a missing path is one whose names were read from the disk with bytes that are no UTF-8
// text, each shown as U+FFFD: such a folder is on screen, but a path written in text never
// reaches it, for the terminal, the agent or the files saved. True when one of its folders holds
// an entry so named that reads as the path's next name.
bool namedInBytesNoTextHolds(const QString& path)
{
    if (!path.contains(QChar::ReplacementCharacter))
        return false;
    const QStringList names = QDir::cleanPath(path).split(QLatin1Char('/'));
    QString at = names.value(0);
    for (qsizetype i = 1; i < names.size(); ++i) {
        const QString next = at + QLatin1Char('/') + names[i];
        if (!QFileInfo::exists(next)) {
            if (!names[i].contains(QChar::ReplacementCharacter))
                return false;
            DIR* dir = ::opendir(QFile::encodeName(at.isEmpty() ? QStringLiteral("/") : at).constData());
            if (!dir)
                return false;
            bool found = false;
            while (const dirent* e = ::readdir(dir))
                if (!QUtf8StringView(e->d_name).isValidUtf8() && QFile::decodeName(e->d_name) == names[i]) {
                    found = true;
                    break;
                }
            ::closedir(dir);
            return found;
        }
        at = next;
    }
    return false;
}

} // namespace

QString FolderChooserLogic::folderProblem(const QString& path)
{
    if (path.isEmpty())
        return tr("Type the path of a folder.");
    const QFileInfo info(path);
    if (!info.exists() && namedInBytesNoTextHolds(path))
        return tr("%1 cannot be opened: its name is not UTF-8 text, so it cannot be passed on as a path.").arg(HiddenCharacters::inSentence(path));
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
