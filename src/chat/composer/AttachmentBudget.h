#pragma once

#include "ChatModels.h"

#include <QMutex>
#include <QString>

namespace brinmoor {

// What the attachments of one message may take together, shared by the composer's list and the
// pool threads that read files for it. A message goes to the agent as one line, its images in
// Base64 (4 characters for every 3 bytes) and pasted texts inside it: the Claude CLI refuses a
// line of more than 256M characters, and the app holds every attachment in memory until it is
// sent. So attachments are counted, and measured in the characters they add to that line: ten
// images of 19 MB fit; a paste of 200 links to one such image attaches as many as fit and refuses
// the rest, instead of reading them all. A file is measured before it is read, so nothing past
// the bound is ever read.
class AttachmentBudget {
public:
    // At most this many attachments in one message.
    static constexpr int maxCount = 200;
    // At most this many characters of the message's line taken by its attachments, a million
    // under the CLI's limit for what was typed and the line's own framing.
    static constexpr qint64 maxChars = 255'000'000;

    // Whether a message of `textChars` typed characters and attachments taking `attachmentChars`
    // stays within the line the CLI accepts (a typed character counted twice: a line break or a
    // quote goes escaped).
    static bool fits(qint64 textChars, qint64 attachmentChars)
    {
        return 2 * textChars + attachmentChars <= lineChars;
    }
    static constexpr qint64 lineChars = 256'000'000 - 64 * 1024;

    // The characters an attachment adds to the message: an image its Base64, a pasted text its
    // bytes, a file by path its line naming the path.
    static qint64 costOf(const ChatAttachment& a);
    // The Base64 of `bytes` bytes.
    static qint64 base64Chars(qint64 bytes) { return (bytes + 2) / 3 * 4; }

    // Takes room for one attachment of `chars`; false, taking nothing, when the message has none.
    bool take(qint64 chars);
    // Changes the size of room taken (a file read differently than its size said); false, keeping
    // the old size, when the message has no room for the new one.
    bool resize(qint64 from, qint64 to);
    // Gives back the room of one attachment.
    void give(qint64 chars);
    int count() const;
    qint64 chars() const;

    // The line shown for files left out because the message is full: the first one's name and
    // how many more.
    static QString fullMessage(const QString& firstName, int more);
    // The line shown for a pasted text of `bytes` (at least that many, when `over`) that is not
    // attached, naming the bound it passes: larger than any message can carry, more than the room
    // the message's other attachments leave (`budget` null: an empty message), or one attachment
    // too many.
    static QString textRefusal(qint64 bytes, bool over, const AttachmentBudget* budget);
    // The line shown when the draft with its attachments is too long to send.
    static QString tooLongMessage();

private:
    mutable QMutex m_mutex;
    int m_count = 0;
    qint64 m_chars = 0;
};

} // namespace brinmoor
