#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

class QJSEngine;
class QQmlEngine;

namespace brinmoor {

// The rules of the app's folder chooser, kept out of QML so they can be tested on their own: where
// it opens, how a typed or pasted path is read, which folders can be shown, and making a new
// folder. In QML it is the singleton `FolderChooserLogic` of Brinmoor.Sheets.
class FolderChooserLogic : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
public:
    using QObject::QObject;
    static FolderChooserLogic* create(QQmlEngine*, QJSEngine*) { return new FolderChooserLogic; }

    // Where the chooser opens: the first of the selected folder and the recent folders (most
    // recent first) that is a folder now, else the home folder, else the root.
    static QString startFolder(const QString& selected, const QStringList& recents, const QString& home);
    // A typed or pasted path, absolute and clean: the blanks around it and one pair of enclosing
    // quotes go, a file URL stands for its path, "~" for the home folder, and a relative path is
    // taken from `base`. The empty text when nothing was typed.
    static QString typedPath(const QString& text, const QString& base, const QString& home);
    // Why the chooser cannot show `path` (no such folder, a file, no permission); "" when it can.
    Q_INVOKABLE static QString folderProblem(const QString& path);
    // The name a new folder gets from what was typed: without the blanks at its ends.
    Q_INVOKABLE static QString folderName(const QString& typed);
    // Makes the folder named by `typed` in `parent`; "" when it was made, else why not (the
    // system's reason when making it failed).
    Q_INVOKABLE static QString makeFolder(const QString& parent, const QString& typed);
    Q_INVOKABLE static QString joinPath(const QString& folder, const QString& name);

    Q_INVOKABLE QString start(const QString& selected, const QStringList& recents) const;
    Q_INVOKABLE QString resolve(const QString& text, const QString& base) const;
    // The folder holding `path`; the empty text for the root.
    Q_INVOKABLE QString parentOf(const QString& path) const;
    Q_INVOKABLE QUrl url(const QString& path) const { return QUrl::fromLocalFile(path); }
};

} // namespace brinmoor
