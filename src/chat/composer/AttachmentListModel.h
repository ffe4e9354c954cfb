#pragma once

#include "ChatAttachments.h"
#include "ChatModels.h"

#include <QAbstractListModel>
#include <QList>
#include <QQmlParserStatus>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

namespace brinmoor {

// The attachments waiting to go out with a chat pane's next message: the composer's chips. The
// paste path, the file chooser and sending all work on it in C++, so image bytes stay here; QML
// sees names, flags and a thumbnail URL (AttachmentImages).
class AttachmentListModel : public QAbstractListModel, public QQmlParserStatus {
    Q_OBJECT
    Q_INTERFACES(QQmlParserStatus)
    QML_ELEMENT
    Q_PROPERTY(int count READ count NOTIFY countChanged)
    // Why the last paste or choice of files left something out (an image over the cap, a file
    // named as an image that is none); empty otherwise.
    Q_PROPERTY(QString notice READ notice NOTIFY noticeChanged)
public:
    enum Role {
        AttachmentIdRole = Qt::UserRole + 1,  // the attachment's id as text
        NameRole,                             // file name shown on a file chip
        ShowsImageRole,                       // an image whose bytes decode: drawn as a thumbnail
        ThumbnailRole,                        // image URL of the thumbnail
    };

    explicit AttachmentListModel(QObject* parent = nullptr);
    ~AttachmentListModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;
    void classBegin() override {}
    void componentComplete() override;

    int count() const { return int(m_items.size()); }
    QString notice() const { return m_notice; }
    const QList<ChatAttachment>& items() const { return m_items; }

    void append(const QList<ChatAttachment>& attachments);
    // Empties the list and hands its attachments over (for sending).
    QList<ChatAttachment> takeAll();

    // Removes every attachment with this id.
    Q_INVOKABLE void remove(const QString& id);
    Q_INVOKABLE void clear();
    // Files chosen in a file dialog, in its order.
    Q_INVOKABLE void addFiles(const QList<QUrl>& urls);
    // Attaches what the clipboard holds (files, an image, or text too long for the editor).
    // Returns true when the paste was taken here, attached or refused; false leaves it to the
    // text editor.
    Q_INVOKABLE bool pasteClipboard();
    Q_INVOKABLE void clearNotice() { setNotice({}); }

signals:
    void countChanged();
    void noticeChanged();

private:
    // Appends what was read and says why anything was left out.
    void take(const ChatAttachments::PasteResult& r);
    void setNotice(const QString& notice);
    static bool decodes(const ChatAttachment& a);

    QList<ChatAttachment> m_items;
    QList<bool> m_showsImage;  // per row, decided once when added
    QString m_notice;
};

} // namespace brinmoor
