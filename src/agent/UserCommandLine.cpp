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

// One byte below 0x80 that JSON cannot hold as it is, escaped as QJsonDocument writes it.
void appendEscape(QByteArray& out, uchar c)
{
    switch (c) {
    case '"': out += "\\\""; return;
    case '\\': out += "\\\\"; return;
    case '\b': out += "\\b"; return;
    case '\f': out += "\\f"; return;
    case '\n': out += "\\n"; return;
    case '\r': out += "\\r"; return;
    case '\t': out += "\\t"; return;
    default: break;
    }
    static constexpr char hex[] = "0123456789abcdef";
    out += "\\u00";
    out += hex[c >> 4];
    out += hex[c & 0xf];
}

// The JSON string contents of UTF-8 `bytes` from `*at` on, appended to `out` until it holds
// `budget` bytes or the bytes end. Cuts only between characters, so the slices joined are the
// escape of the whole; bytes from 0x80 on go as they are, as QJsonDocument writes them.
void appendEscaped(QByteArray& out, const QByteArray& bytes, qsizetype* at, qsizetype budget)
{
    const char* p = bytes.constData();
    const qsizetype n = bytes.size();
    qsizetype i = *at;
    while (i < n && out.size() < budget) {
        qsizetype end = std::min(n, i + (budget - out.size()));
        while (end < n && (uchar(p[end]) & 0xc0) == 0x80)
            ++end;
        qsizetype run = i;
        for (; i < end; ++i) {
            const uchar c = uchar(p[i]);
            if (c >= 0x20 && c != '"' && c != '\\')
                continue;
            out.append(p + run, i - run);
            appendEscape(out, c);
            run = i + 1;
        }
        out.append(p + run, i - run);
    }
    *at = i;
}

} // namespace

UserCommandLine::UserCommandLine(QString text, const QList<ChatAttachment>& attachments)
    : UserCommandLine(QList<TextPart>{std::move(text)}, attachments)
{
}

UserCommandLine::UserCommandLine(QList<TextPart> text, const QList<ChatAttachment>& attachments) : m_text(std::move(text))
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
            m_stage = m_images.isEmpty() ? Stage::TextHead : Stage::ImageHead;
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
            m_stage = ++m_image < m_images.size() ? Stage::ImageHead : Stage::TextHead;
            break;
        case Stage::TextHead:
            out += "],\"cmd\":\"user\",\"text\":\"";
            m_images.clear();
            m_part = 0;
            m_offset = 0;
            m_stage = Stage::TextData;
            break;
        case Stage::TextData: {
            if (m_part >= m_text.size()) {
                m_stage = Stage::Tail;
                break;
            }
            TextPart& part = m_text[m_part];
            // Typed text becomes UTF-8 here, on the thread that makes the pieces.
            if (const QString* typed = std::get_if<QString>(&part))
                part = typed->toUtf8();
            const QByteArray& bytes = std::get<QByteArray>(part);
            appendEscaped(out, bytes, &m_offset, budget);
            if (m_offset >= bytes.size()) {
                part = QByteArray();  // this holder's share of the text goes
                ++m_part;
                m_offset = 0;
            }
            break;
        }
        case Stage::Tail:
            out += "\"}\n";
            m_text.clear();
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
