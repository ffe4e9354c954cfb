#include "UserCommandLine.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace brinmoor {

namespace {

// A string as JSON writes it, quotes included.
QByteArray jsonString(const QString& s)
{
    const QByteArray array = QJsonDocument(QJsonArray{s}).toJson(QJsonDocument::Compact);
    return array.sliced(1, array.size() - 2);
}

} // namespace

UserCommandLine::UserCommandLine(QString text, const QList<ChatAttachment>& attachments) : m_text(std::move(text))
{
    for (const ChatAttachment& a : attachments)
        if (a.isImage)
            m_images.append({a.mediaType.value_or(QStringLiteral("image/png")), a.data.value_or(QByteArray())});
}

QByteArray UserCommandLine::next(qsizetype budget)
{
    budget = std::max<qsizetype>(budget, 4);
    QByteArray out;
    out.reserve(budget + 64);
    while (out.size() < budget && m_stage != Stage::Done) {
        switch (m_stage) {
        case Stage::Head:
            out += "{\"attachments\":[";
            m_stage = m_images.isEmpty() ? Stage::Tail : Stage::ImageHead;
            break;
        case Stage::ImageHead:
            if (m_image > 0)
                out += ',';
            out += "{\"data\":\"";
            m_offset = 0;
            m_stage = Stage::ImageData;
            break;
        case Stage::ImageData: {
            const QByteArray& data = m_images.at(m_image).data;
            // Whole groups of three bytes, so the slices' Base64 joined is the image's.
            const qsizetype room = std::max<qsizetype>((budget - out.size()) / 4, 1) * 3;
            const qsizetype n = std::min(room, data.size() - m_offset);
            out += QByteArray::fromRawData(data.constData() + m_offset, n).toBase64();
            m_offset += n;
            if (m_offset >= data.size())
                m_stage = Stage::ImageTail;
            break;
        }
        case Stage::ImageTail:
            out += "\",\"mediaType\":";
            out += jsonString(m_images.at(m_image).mediaType);
            out += '}';
            m_images[m_image].data = QByteArray();  // this holder's share of the bytes goes
            m_stage = ++m_image < m_images.size() ? Stage::ImageHead : Stage::Tail;
            break;
        case Stage::Tail:
            out += "],\"cmd\":\"user\",\"text\":";
            out += jsonString(m_text);
            out += "}\n";
            m_text = QString();
            m_images.clear();
            m_stage = Stage::Done;
            break;
        case Stage::Done:
            break;
        }
    }
    return out;
}

QByteArray UserCommandLine::all()
{
    QByteArray line;
    while (!done())
        line += next(1 << 20);
    return line;
}

} // namespace brinmoor
