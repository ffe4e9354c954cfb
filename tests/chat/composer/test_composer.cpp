// The composer's rules without a sidecar: slash matching and keys, sending rules, attachment
// reading from files and the clipboard, thumbnails, the session controls' display rules and
// the history picker's paging.
#include "AttachmentBudget.h"
#include "AttachmentImage.h"
#include "AttachmentImages.h"
#include "AttachmentListModel.h"
#include "ChatPaneMemory.h"
#include "ChatAttachments.h"
#include "ClaudeSession.h"
#include "ComposerDraft.h"
#include "ComposerLogic.h"
#include "ComposerModel.h"
#include "HistoryPaging.h"
#include "SessionControls.h"

#include "TestEnvironment.h"
#include "support/TaskLimit.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMimeData>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>

#include <malloc.h>

#include <sys/resource.h>
#include <sys/stat.h>

BRINMOOR_APP_TEST_ENVIRONMENT();

using namespace brinmoor;
using namespace brinmoor::ComposerLogic;
using brinmoor::test::waitUntil;

namespace {

QString S(const char* s) { return QString::fromUtf8(s); }

QByteArray imageBytes(const char* format, QSize size = {40, 20})
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return out;
}

// A one-pixel GIF (Qt reads GIF but cannot write it).
QByteArray gifBytes()
{
    return QByteArray("GIF89a\x01\x00\x01\x00\x80\x00\x00\x00\x00\x00\xff\xff\xff\x21\xf9\x04\x01\x00\x00\x00\x00"
                      "\x2c\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00\x3b", 43);
}

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    QFile f(dir.filePath(name));
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
    return f.fileName();
}

} // namespace

TEST(ComposerLogic, slash_query_lives_only_while_the_command_word_is_typed)
{
    EXPECT_EQ(slashQuery(S("/co"), false, false), S("co"));
    EXPECT_EQ(slashQuery(S("/"), false, false), S(""));
    EXPECT_FALSE(slashQuery(S("/co"), true, false));       // Codex
    EXPECT_FALSE(slashQuery(S("/co"), false, true));       // dismissed by Escape
    EXPECT_FALSE(slashQuery(S("/compact "), false, false));
    EXPECT_FALSE(slashQuery(S("/a\nb"), false, false));
    EXPECT_FALSE(slashQuery(S("x/co"), false, false));

    const QStringList commands{S("review"), S("Compact"), S("context"), S("cost")};
    EXPECT_EQ(slashMatches(S("CO"), commands), (QStringList{S("Compact"), S("context"), S("cost")}));
    EXPECT_EQ(slashMatches(S(""), commands), commands);
    EXPECT_TRUE(slashMatches(std::nullopt, commands).isEmpty());
    EXPECT_EQ(moreLine(9), S("+3 more — keep typing"));
    EXPECT_EQ(moreLine(6), S(""));
}

TEST(ComposerLogic, slash_keys_cycle_accept_and_dismiss)
{
    const QStringList two{S("compact"), S("context")};
    auto down = slashKey(SlashKey::Down, S("/co"), two, 0);
    EXPECT_TRUE(down.consumed);
    EXPECT_EQ(down.index, 1);
    EXPECT_EQ(slashKey(SlashKey::Down, S("/co"), two, 1).index, 0);
    EXPECT_EQ(slashKey(SlashKey::Up, S("/co"), two, 0).index, 1);
    EXPECT_EQ(slashKey(SlashKey::Return, S("/co"), two, 1).newDraft, S("/context "));
    EXPECT_EQ(slashKey(SlashKey::Tab, S("/co"), two, 0).newDraft, S("/compact "));
    // A command typed out in full is not taken: Return sends it.
    EXPECT_FALSE(slashKey(SlashKey::Return, S("/compact"), {S("compact")}, 0).consumed);
    EXPECT_TRUE(slashKey(SlashKey::Escape, S("/co"), two, 0).dismissed);
    EXPECT_FALSE(slashKey(SlashKey::Return, S("/zz"), {}, 0).consumed);
    // A highlighted row beyond the list's end takes the last match.
    EXPECT_EQ(slashKey(SlashKey::Tab, S("/co"), two, 7).newDraft, S("/context "));
}

TEST(ComposerLogic, sending_and_compact_rules_trim_white_space_and_newlines)
{
    EXPECT_FALSE(canSend(S(" \n\t\u2028 "), false));
    EXPECT_TRUE(canSend(S(""), true));
    EXPECT_TRUE(isCompactCommand(S("  /COMPACT \n")));
    EXPECT_FALSE(isCompactCommand(S("/compact now")));
    EXPECT_EQ(trimWhiteAndNewlines(S("\n\u00a0 a b \t\r\n")), S("a b"));
}

TEST(ChatAttachments, files_become_images_or_files_by_extension_and_readability)
{
    QTemporaryDir dir;
    const QString png = writeFile(dir, S("PIC.PNG"), imageBytes("png"));
    const QString text = writeFile(dir, S("notes.txt"), "hello");
    const QString big = writeFile(dir, S("huge.jpg"), {});
    QFile(big).resize(ChatAttachments::imageCapBytes + 1);

    const auto list = ChatAttachments::fromFiles({QUrl::fromLocalFile(png), QUrl::fromLocalFile(text),
                                                  QUrl::fromLocalFile(dir.filePath(S("gone.png"))),
                                                  QUrl::fromLocalFile(big)}).attachments;
    ASSERT_EQ(list.size(), 4);
    EXPECT_TRUE(list[0].isImage);
    EXPECT_EQ(list[0].mediaType, S("image/png"));
    EXPECT_EQ(list[0].data, imageBytes("png"));
    EXPECT_EQ(list[0].path, png);
    for (int i : {1, 2, 3}) {  // a text file, an unreadable image, an image over the cap
        EXPECT_FALSE(list[i].isImage) << i;
        EXPECT_FALSE(list[i].data) << i;
        EXPECT_FALSE(list[i].mediaType) << i;
    }
    EXPECT_EQ(list[1].name, S("notes.txt"));
    EXPECT_EQ(list[3].path, big);
}

TEST(ChatAttachments, clipboard_files_win_then_png_tiff_and_other_images)
{
    QTemporaryDir dir;
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(writeFile(dir, S("a.txt"), "a")), QUrl(S("https://example.com/x.png")),
                   QUrl::fromLocalFile(writeFile(dir, S("b.gif"), gifBytes()))});
    files.setText(S("a.txt b.gif"));
    const auto fromFiles = ChatAttachments::fromMimeData(&files);
    ASSERT_EQ(fromFiles.attachments.size(), 2);  // the web address is not a file
    EXPECT_EQ(fromFiles.attachments[0].name, S("a.txt"));
    EXPECT_EQ(fromFiles.attachments[1].mediaType, S("image/gif"));

    for (const char* format : {"png", "tiff", "bmp"}) {
        QMimeData mime;
        if (QByteArray(format) == "bmp")
            mime.setImageData(QImage::fromData(imageBytes("bmp")));
        else
            mime.setData(S("image/") + S(format), imageBytes(format));
        mime.setText(S("ignored"));
        const auto r = ChatAttachments::fromMimeData(&mime);
        ASSERT_EQ(r.attachments.size(), 1) << format;
        EXPECT_EQ(r.attachments[0].name, S("pasted.png"));
        EXPECT_EQ(QImage::fromData(*r.attachments[0].data, "png").size(), QSize(40, 20)) << format;
    }

    QMimeData text;
    text.setText(S("just text"));
    EXPECT_FALSE(ChatAttachments::fromMimeData(&text).handled());

    QMimeData garbage;
    garbage.setData(S("image/tiff"), "not a tiff");
    EXPECT_FALSE(ChatAttachments::fromMimeData(&garbage).handled());

    QMimeData huge;
    huge.setData(S("image/png"), QByteArray(ChatAttachments::imageCapBytes + 1, 'x'));
    const auto refused = ChatAttachments::fromMimeData(&huge);
    EXPECT_TRUE(refused.attachments.isEmpty());
    EXPECT_EQ(refused.refusal, ChatAttachments::tooLargeMessage());
}

TEST(ChatAttachments, an_image_is_known_by_its_content_and_a_file_that_is_none_is_refused_with_its_reason)
{
    const QByteArray jpeg = imageBytes("jpg");
    struct Case {
        const char* bytes;
        qsizetype size;
        const char* type;  // nullptr: no image
    } cases[] = {
        {"\x89PNG\r\n\x1a\n....", 12, "image/png"},
        {"\xff\xd8\xff\xe0", 4, "image/jpeg"},
        {"GIF89a..", 8, "image/gif"},
        {"GIF87a..", 8, "image/gif"},
        {"RIFF\x10\0\0\0WEBPVP8 ", 16, "image/webp"},
        {"RIFF\x10\0\0\0WAVEfmt ", 16, nullptr},
        {"\x89PNG", 4, nullptr},
        {"hello, not a picture", 20, nullptr},
        {"", 0, nullptr},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ChatAttachments::imageTypeOf(QByteArray(c.bytes, c.size)), c.type ? std::optional(S(c.type)) : std::nullopt) << c.bytes;

    // Chosen files: a text file named as a picture is not sent as one, and the composer says why;
    // a JPEG named ".png" goes as the JPEG it is.
    QTemporaryDir dir;
    AttachmentListModel model;
    model.addFiles({QUrl::fromLocalFile(writeFile(dir, S("notes.png"), "just some notes")),
                    QUrl::fromLocalFile(writeFile(dir, S("photo.png"), jpeg))});
    ASSERT_TRUE(waitUntil([&] { return !model.reading(); }));
    ASSERT_EQ(model.count(), 1);
    EXPECT_EQ(model.items()[0].name, S("photo.png"));
    EXPECT_EQ(model.items()[0].mediaType, S("image/jpeg"));
    EXPECT_TRUE(model.items()[0].isImage);
    EXPECT_EQ(model.notice(), ChatAttachments::notAnImageMessage(S("notes.png")));

    // Clipboard data offered as PNG: another image is converted, anything else refused.
    QMimeData bmp;
    bmp.setData(S("image/png"), imageBytes("bmp"));
    const auto converted = ChatAttachments::fromMimeData(&bmp);
    ASSERT_EQ(converted.attachments.size(), 1);
    EXPECT_EQ(ChatAttachments::imageTypeOf(*converted.attachments[0].data), S("image/png"));
    QMimeData text;
    text.setData(S("image/png"), "plain words");
    const auto refused = ChatAttachments::fromMimeData(&text);
    EXPECT_TRUE(refused.attachments.isEmpty());
    EXPECT_EQ(refused.refusal, ChatAttachments::unreadableImageMessage());
}

// Bytes that begin with a picture's signature and go on as anything else are no picture: pasted,
// they are refused with the line for a picture that could not be read; chosen as a file, with the
// file's line. Before, the signature alone made them a chip with an empty thumbnail, and the agent
// put "[Image could not be processed]" where the model was to see it. Each kind beside a good
// picture of it, which goes as it is, and beside a good picture cut short.
TEST(ChatAttachments, bytes_that_begin_as_a_picture_but_do_not_decode_are_refused)
{
    // Signature, then noise from a few fixed seeds (another seed's bytes might happen to read).
    const auto noise = [](quint32 seed, qsizetype n) {
        QByteArray out(n, Qt::Uninitialized);
        for (char& c : out)
            c = char((seed = seed * 1664525u + 1013904223u) >> 24);
        return out;
    };
    const QByteArray realPng = imageBytes("png", {300, 200});
    const struct {
        const char* type;
        const char* extension;
        QByteArray signature;
        QByteArray good;
    } kinds[] = {
        {"image/png", "png", QByteArray("\x89PNG\r\n\x1a\n", 8), realPng},
        {"image/jpeg", "jpg", QByteArray("\xff\xd8\xff", 3), imageBytes("jpeg", {300, 200})},
        {"image/gif", "gif", QByteArray("GIF89a"), gifBytes()},
        {"image/webp", "webp", QByteArray("RIFF\x40\x0d\x03\x00WEBP", 12), imageBytes("webp", {300, 200})},
    };
    QTemporaryDir dir;
    for (const auto& k : kinds) {
        ASSERT_FALSE(k.good.isEmpty()) << k.type << ": no writer for it here";
        ASSERT_EQ(ChatAttachments::imageTypeOf(k.good), S(k.type));
        QList<QByteArray> broken;
        for (quint32 seed : {1u, 2u, 3u})
            broken << k.signature + noise(seed, 200000);
        // The signature and a good header, the pixels cut off.
        if (QByteArray(k.type) == "image/png")
            broken << realPng.left(realPng.size() / 2);
        for (const QByteArray& bytes : std::as_const(broken)) {
            ASSERT_EQ(ChatAttachments::imageTypeOf(bytes), S(k.type));
            QMimeData mime;
            mime.setData(S(k.type), bytes);
            const auto pasted = ChatAttachments::fromMimeData(&mime);
            EXPECT_TRUE(pasted.attachments.isEmpty()) << k.type << " " << bytes.size();
            EXPECT_EQ(pasted.refusal, S("The pasted image could not be read and was not attached.")) << k.type;
            const QString name = S("broken.") + S(k.extension);
            const auto chosen = ChatAttachments::fromFiles({QUrl::fromLocalFile(writeFile(dir, name, bytes))});
            EXPECT_TRUE(chosen.attachments.isEmpty()) << k.type;
            EXPECT_EQ(chosen.refusal, ChatAttachments::notAnImageMessage(name)) << k.type;
        }
        QMimeData mime;
        mime.setData(S(k.type), k.good);
        const auto pasted = ChatAttachments::fromMimeData(&mime);
        ASSERT_EQ(pasted.attachments.size(), 1) << k.type;
        EXPECT_EQ(*pasted.attachments[0].data, k.good);
        EXPECT_EQ(pasted.attachments[0].mediaType, S(k.type));
        EXPECT_TRUE(pasted.refusal.isEmpty()) << k.type;
        const auto chosen = ChatAttachments::fromFiles({QUrl::fromLocalFile(writeFile(dir, S("good.") + S(k.extension), k.good))});
        ASSERT_EQ(chosen.attachments.size(), 1) << k.type;
        EXPECT_TRUE(chosen.attachments[0].isImage) << k.type;
        EXPECT_TRUE(chosen.refusal.isEmpty()) << k.type;
    }

    // A good picture of many megapixels is read whole at a small size, and goes as it is.
    const QByteArray wide = imageBytes("png", {12000, 3000});
    QMimeData mime;
    mime.setData(S("image/png"), wide);
    const auto pasted = ChatAttachments::fromMimeData(&mime);
    ASSERT_EQ(pasted.attachments.size(), 1);
    EXPECT_EQ(*pasted.attachments[0].data, wide);

    // Through the composer's list: no chip, the line, and the draft's chips as they were.
    AttachmentListModel model;
    QMimeData good, bad;
    good.setData(S("image/png"), realPng);
    bad.setData(S("image/png"), kinds[0].signature + noise(9, 200000));
    model.append(ChatAttachments::fromMimeData(&good).attachments);
    ASSERT_EQ(model.count(), 1);
    model.addFiles({QUrl::fromLocalFile(writeFile(dir, S("shot.png"), bad.data(S("image/png"))))});
    ASSERT_TRUE(waitUntil([&] { return !model.reading(); }));
    EXPECT_EQ(model.count(), 1);
    EXPECT_EQ(model.notice(), ChatAttachments::notAnImageMessage(S("shot.png")));
}

// A file whose name is no UTF-8 text is refused at once by name, with the reason: the path the
// agent would be told (its bytes shown as U+FFFD) names no file. A file beside it whose name holds
// a real U+FFFD, and one with an ordinary name, are attached.
TEST(ChatAttachments, a_file_named_in_bytes_that_are_no_text_is_refused_not_sent_by_a_wrong_path)
{
    QTemporaryDir dir;
    const QByteArray folder = QFile::encodeName(dir.path());
    for (const QByteArray& name : {QByteArray("bad\xff.txt"), QByteArray("bad\xef\xbf\xbd.txt"), QByteArray("ok.txt")}) {
        const int fd = ::open((folder + "/" + name).constData(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0) << name.constData();
        ::close(fd);
    }
    const auto url = [&](const QByteArray& name) {
        return QUrl(S("file://") + QString::fromLatin1((folder + "/" + name).toPercentEncoding("/")));
    };
    const auto r = ChatAttachments::fromFiles({url("bad\xff.txt"), url("bad\xef\xbf\xbd.txt"), url("ok.txt")}, nullptr);
    ASSERT_EQ(r.attachments.size(), 2);
    EXPECT_EQ(r.attachments[0].path, dir.path() + S("/bad\uFFFD.txt"));
    EXPECT_TRUE(QFileInfo::exists(r.attachments[0].path.value_or(QString())));
    EXPECT_EQ(r.attachments[1].name, S("ok.txt"));
    EXPECT_EQ(r.refusal, ChatAttachments::notTextNameMessage(S("bad\uFFFD.txt")));
    EXPECT_TRUE(r.refusal.startsWith(S("bad\uFFFD.txt was not attached: its name is not UTF-8 text"))) << qPrintable(r.refusal);
}

// Files named as images that are no regular files are never opened for reading: a link to a
// device that never ends (its size says 0), a link to an empty one, and a pipe with no writer
// (opening it would wait for one). Each is refused by name. Chosen files are read off the GUI
// thread, and their chips keep the order the files were given in.
TEST(AttachmentList, files_are_read_off_the_gui_thread_and_only_regular_ones_as_images)
{
    QTemporaryDir dir;
    const QString photo = writeFile(dir, S("photo.png"), imageBytes("png"));
    const struct {
        const char* name;
        const char* target;  // nullptr: a pipe
    } specials[] = {{"zero.png", "/dev/zero"}, {"null.jpg", "/dev/null"}, {"fifo.png", nullptr}};
    QList<QUrl> specialUrls;
    QStringList refusals;
    for (const auto& f : specials) {
        const QString path = dir.filePath(S(f.name));
        ASSERT_TRUE(f.target ? QFile::link(S(f.target), path) : ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0) << f.name;
        specialUrls << QUrl::fromLocalFile(path);
        refusals << ChatAttachments::notAFileMessage(S(f.name));
    }
    ASSERT_TRUE(QFile::link(photo, dir.filePath(S("linked.png"))));

    AttachmentListModel model;
    model.addFiles({QUrl::fromLocalFile(photo)});
    model.addFiles({QUrl::fromLocalFile(writeFile(dir, S("notes.txt"), "n")), QUrl::fromLocalFile(dir.filePath(S("linked.png")))});
    model.addFiles(specialUrls);
    EXPECT_TRUE(model.reading());
    EXPECT_EQ(model.count(), 0);  // nothing was read on this thread
    ASSERT_TRUE(waitUntil([&] { return !model.reading(); }));
    ASSERT_EQ(model.count(), 3);
    const QStringList names{model.items()[0].name, model.items()[1].name, model.items()[2].name};
    EXPECT_EQ(names, (QStringList{S("photo.png"), S("notes.txt"), S("linked.png")}));
    EXPECT_TRUE(model.items()[2].isImage);  // a link to a regular file is read through
    EXPECT_EQ(model.items()[2].data, imageBytes("png"));
    EXPECT_EQ(model.notice(), refusals.join(u'\n'));
}

namespace {

// A PNG of `size` bytes: a small picture padded after its end, as a 19 MB photo weighs.
QString paddedPng(const QTemporaryDir& dir, const QString& name, qsizetype size)
{
    QByteArray bytes = imageBytes("png");
    bytes.append(QByteArray(size - bytes.size(), '\0'));
    return writeFile(dir, name, bytes);
}

} // namespace

// One message's attachments have a bound together, in number and in the characters they add to
// the message's line: pasting 200 links to one 19 MB image read all 200 (3.8 GB) and the app died
// of it. Now each file takes its room before it is read; those past the bound are refused in one
// line; room comes back as attachments leave.
TEST(AttachmentList, a_message_takes_attachments_up_to_its_bound_and_refuses_the_rest_in_one_line)
{
    QTemporaryDir dir;
    const QString big = paddedPng(dir, S("big.png"), 19'000'000);
    const auto links = [&](const char* stem, const QString& target, int n) {
        QList<QUrl> urls;
        for (int i = 0; i < n; ++i) {
            const QString path = dir.filePath(S(stem) + QString::number(i).rightJustified(3, u'0') + S(".") + QFileInfo(target).suffix());
            if (!QFile::exists(path)) {
                EXPECT_TRUE(QFile::link(target, path));
            }
            urls << QUrl::fromLocalFile(path);
        }
        return urls;
    };
    const QString note = writeFile(dir, S("note.txt"), "n");
    const struct {
        const char* what;
        QList<QUrl> urls;
        int attached;
        QString notice;
    } cases[] = {
        // Ten 19,000,000-byte images fit (253,333,360 characters of Base64); the eleventh does not.
        {"200 links to a 19 MB image", links("big-", big, 200), 10, AttachmentBudget::fullMessage(S("big-010.png"), 189)},
        {"250 files by path", links("note-", note, 250), 200, AttachmentBudget::fullMessage(S("note-200.txt"), 49)},
    };
    for (const auto& c : cases) {
        AttachmentListModel model;
        model.addFiles(c.urls);
        ASSERT_TRUE(waitUntil([&] { return !model.reading(); })) << c.what;
        EXPECT_EQ(model.count(), c.attached) << c.what;
        EXPECT_EQ(model.notice(), c.notice) << c.what;
        EXPECT_EQ(model.budget().count(), c.attached) << c.what;
        // One removed: one more fits, the next does not; sent (taken): all the room is back.
        model.remove(model.items().first().idText());
        model.addFiles(c.urls.mid(0, 2));
        ASSERT_TRUE(waitUntil([&] { return !model.reading(); })) << c.what;
        EXPECT_EQ(model.count(), c.attached) << c.what;
        EXPECT_EQ(model.notice(), AttachmentBudget::fullMessage(QFileInfo(c.urls[1].toLocalFile()).fileName(), 0)) << c.what;
        EXPECT_EQ(model.takeAll().size(), c.attached) << c.what;
        EXPECT_EQ(model.budget().count(), 0) << c.what;
        EXPECT_EQ(model.budget().chars(), 0) << c.what;
    }

    // Pasted text and images (appended as they are) keep to the same bound.
    AttachmentListModel model;
    model.addFiles(links("big-", big, 9));
    ASSERT_TRUE(waitUntil([&] { return !model.reading(); }));
    ChatAttachment text = ChatAttachments::pastedText(QString(30'000'000, u'x'));
    model.append({text});
    EXPECT_EQ(model.count(), 9);
    EXPECT_EQ(model.notice(), AttachmentBudget::fullMessage(text.name, 0));
    text.data = QByteArray(1'000'000, 'x');
    model.append({text});
    EXPECT_EQ(model.count(), 10);
    EXPECT_EQ(model.notice(), QString());

    // A draft that with the attachments would pass what the agent accepts is not sent: the draft,
    // the attachments and a line saying why stay.
    ClaudeSession session(QUuid::createUuid(), S("/tmp"), false, std::nullopt, ChatProvider::Claude, true);
    ComposerModel composer;
    composer.setSession(&session);
    composer.setAttachments(&model);
    composer.setDraft(QString(14'000'000, u'y'));
    composer.send();
    EXPECT_EQ(session.messageCount(), 0);
    EXPECT_EQ(model.count(), 10);
    EXPECT_EQ(composer.draft().size(), 14'000'000);
    EXPECT_EQ(model.notice(), AttachmentBudget::tooLongMessage());
    composer.setDraft(S("ten images"));
    composer.send();
    EXPECT_EQ(session.messageCount(), 1);
    EXPECT_EQ(model.count(), 0);
}

// A file there is no memory to read is refused by name; the reader does not die of it. Run in a
// child whose address space ends a few megabytes past what it uses.
TEST(ChatAttachments, a_file_there_is_no_memory_for_is_refused_not_a_crash)
{
    QTemporaryDir dir;
    const QString big = paddedPng(dir, S("big.png"), 19'000'000);
    const auto readWithLittleMemory = [&] {
        QFile status(S("/proc/self/status"));
        status.open(QIODevice::ReadOnly);
        qint64 sizeKb = 0;
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("VmSize:"))
                sizeKb = line.mid(7).trimmed().split(' ').value(0).toLongLong();
        // Big blocks from new mappings, not from what the heap already holds free.
        ::mallopt(M_MMAP_THRESHOLD, 1024 * 1024);
        const rlimit limit{rlim_t(sizeKb + 4 * 1024) * 1024, rlim_t(sizeKb + 4 * 1024) * 1024};
        ::setrlimit(RLIMIT_AS, &limit);
        const auto r = ChatAttachments::fromFiles({QUrl::fromLocalFile(big)});
        std::_Exit(r.attachments.isEmpty() && r.refusal == ChatAttachments::noMemoryMessage(S("big.png")) ? 0 : 3);
    };
    // In a fresh run of this test alone: a heap that other tests left holding free blocks would
    // serve the read without asking for more.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(readWithLittleMemory(), ::testing::ExitedWithCode(0), "");
}

// A sent message's thumbnails are decoded off the GUI thread, at the size a thumbnail needs: ten
// photos of 19 MB decoded whole on it, twice each, froze the window as they were sent and held
// their full pictures. Bytes that are no image still show as no thumbnail at once.
TEST(AttachmentImage, a_sent_image_is_decoded_off_the_gui_thread_to_thumbnail_size)
{
    const struct {
        QSize size;
        QSize picture;  // decoded
    } cases[] = {{{3000, 2000}, {384, 256}}, {{1000, 4000}, {256, 1024}}, {{100, 50}, {100, 50}}};
    for (const auto& c : cases) {
        ChatAttachment a;
        a.isImage = true;
        a.data = imageBytes("png", c.size);
        AttachmentImage item;
        item.setAttachment(QVariant::fromValue(a));
        EXPECT_TRUE(item.valid());
        EXPECT_TRUE(AttachmentImage::isThumbnail(QVariant::fromValue(a)));
        EXPECT_TRUE(item.pictureSize().isEmpty());  // not decoded on this thread
        ASSERT_TRUE(waitUntil([&] { return !item.pictureSize().isEmpty(); }));
        EXPECT_EQ(item.pictureSize(), c.picture);
    }
    ChatAttachment broken;
    broken.isImage = true;
    broken.data = QByteArray("not an image");
    AttachmentImage item;
    item.setAttachment(QVariant::fromValue(broken));
    EXPECT_FALSE(item.valid());
    EXPECT_FALSE(AttachmentImage::isThumbnail(QVariant::fromValue(broken)));
}

// The task limit reached as a thumbnail is to be decoded: its thread is refused, and the picture
// waits without holding others back; once tasks are free the next picture asks for a thread again,
// and both are decoded. Before, the decoders' pool counted the refused thread as busy and no
// picture was decoded again. (RLIMIT_NPROC binds root only once the real user is another: the
// child takes the user nobody, keeping root as its saved user.)
TEST(AttachmentImage, a_decode_refused_a_thread_waits_and_the_next_picture_brings_it)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ::alarm(30);
            ChatAttachment a;
            a.isImage = true;
            a.data = imageBytes("png", QSize(40, 30));
            AttachmentImage first;
            AttachmentImage second;
            if (!test::limitTasks(false))
                std::exit(3);
            first.setAttachment(QVariant::fromValue(a));
            if (!test::limitTasks(true))
                std::exit(4);
            const bool waited = first.pictureSize().isEmpty();
            second.setAttachment(QVariant::fromValue(a));
            const bool both = waitUntil([&] { return !first.pictureSize().isEmpty() && !second.pictureSize().isEmpty(); }, 10000);
            std::fprintf(stderr, "waited %d, both decoded %d\n", int(waited), int(both));
            std::fflush(stderr);
            // At once: the items and the application are not taken apart in the child.
            ::_exit(0);
        },
        ::testing::ExitedWithCode(0), "waited 1, both decoded 1");
}

TEST(ChatAttachments, a_paste_of_a_hundred_thousand_characters_becomes_a_text_attachment)
{
    QMimeData shorter;
    shorter.setText(QString(ChatAttachments::textAttachmentChars - 1, u'a'));
    EXPECT_FALSE(ChatAttachments::fromMimeData(&shorter).handled());  // the editor takes it

    const QString text = QString(ChatAttachments::textAttachmentChars / 2, u'é') + QString(ChatAttachments::textAttachmentChars / 2, u'\n');
    QMimeData log;
    log.setText(text);
    const auto r = ChatAttachments::fromMimeData(&log);
    ASSERT_EQ(r.attachments.size(), 1);
    const ChatAttachment& a = r.attachments[0];
    EXPECT_EQ(a.name, S("Pasted text (146.5 kB)"));  // 150,000 bytes of UTF-8
    EXPECT_FALSE(a.isImage);
    EXPECT_FALSE(a.path);
    EXPECT_EQ(QString::fromUtf8(*a.data), text);
}

// A long paste nobody reads before it goes: what it hides (tag characters spelling a command, an
// override) goes as marks, and the chip counts them.
TEST(ChatAttachments, a_long_paste_sends_its_hidden_characters_as_marks)
{
    const QString filler(ChatAttachments::textAttachmentChars, u'a');
    const struct {
        QString hidden, sent, name;
    } cases[] = {
        {QString::fromUtf8("\u202E"), S("<U+202E>"), S("Pasted text (97.7 kB, 1 hidden character as a mark)")},
        {QString::fromUcs4(U"\U000E0072\U000E006D\u200B"), S("<U+E0072><U+E006D><U+200B>"),
         S("Pasted text (97.7 kB, 3 hidden characters as marks)")},
    };
    for (const auto& c : cases) {
        QMimeData mime;
        mime.setText(filler + c.hidden);
        const auto r = ChatAttachments::fromMimeData(&mime);
        ASSERT_EQ(r.attachments.size(), 1);
        EXPECT_EQ(QString::fromUtf8(*r.attachments[0].data), filler + c.sent);
        EXPECT_EQ(r.attachments[0].name, c.name);
    }
}

// A paste the editor is not to hold goes as a chip in its room in the message, its bytes those the
// editor's marks would have sent, its name counting what it hides; past the room it is refused.
TEST(AttachmentList, a_paste_put_aside_as_a_chip_sends_what_the_marks_would)
{
    AttachmentListModel model;
    model.attachPastedText(QString::fromUtf8("a\u200Bb\u202E\n") + QString::fromUcs4(U"\U000E0041"), 3);
    ASSERT_EQ(model.count(), 1);
    const QList<ChatAttachment> taken = model.takeAll();
    ASSERT_EQ(taken.size(), 1);
    EXPECT_EQ(QString::fromUtf8(*taken[0].data), S("a<U+200B>b<U+202E>\n<U+E0041>"));
    EXPECT_EQ(taken[0].name, S("3 hidden characters · Pasted text (28 bytes)"));
    for (int i = 0; i < AttachmentBudget::maxCount; ++i)
        model.attachPastedText(S("plain"));
    EXPECT_EQ(model.count(), AttachmentBudget::maxCount);
    model.attachPastedText(S("one more"));
    EXPECT_EQ(model.count(), AttachmentBudget::maxCount);
    EXPECT_FALSE(model.property("notice").toString().isEmpty());
}

// A paste that lands in a pane's kept draft while no composer shows it (its session restarted or
// stopped during the read) keeps to the composer's bounds: past the marks a paragraph may hold (in
// right-to-left text and in Latin, the draft's own marks counted with the paste's), past the marks
// one paste may bring, or past the longest stretch without a place to break a line, it goes as a
// chip named with its count and the kept text stays; below them it goes in as marks. Before, the
// draft took any paste as text, and the next composer laid 49,500 marks out inline.
TEST(ComposerDraft, a_paste_kept_while_no_composer_shows_the_draft_goes_as_a_chip_past_the_composers_bounds)
{
    const auto repeated = [](const QString& piece, qsizetype n) { return piece.repeated(n); };
    const QString zw = QString(QChar(0x200B));
    const QString hebrew = S("\u05D0\u05D1 "), arabic = S("\u0627\u0628 "), latin = S("ab ");
    const qsizetype fencedAround = ComposerModel::mostFencedMarksAround, around = ComposerModel::mostMarksAround;
    const struct {
        const char* what;
        QString kept;  // the draft before, its hidden characters put in as a paste would
        QString pasted;
        qsizetype chipMarks;  // -1: in the text
    } cases[] = {
        {"Hebrew, at the bound", QString(), repeated(hebrew + zw, fencedAround), -1},
        {"Hebrew, one past it", QString(), repeated(hebrew + zw, fencedAround + 1), fencedAround + 1},
        {"Arabic, one past it", QString(), repeated(arabic + zw, fencedAround + 1), fencedAround + 1},
        {"Latin, at the Hebrew bound", QString(), repeated(latin + zw, fencedAround + 1), -1},
        {"Latin, at its bound", QString(), repeated(latin + zw, around), -1},
        {"Latin, one past it", QString(), repeated(latin + zw, around + 1), around + 1},
        {"Hebrew, with the draft's own marks", repeated(hebrew + zw, 3000), repeated(hebrew + zw, 2001), 2001},
        {"Hebrew, the draft's marks in another paragraph", repeated(hebrew + zw, 3000) + S("\n"), repeated(hebrew + zw, 2001), -1},
        {"Hebrew, over many paragraphs", QString(), repeated(hebrew + zw + S("\n"), ComposerModel::mostFencedMarksPasted + 1),
         ComposerModel::mostFencedMarksPasted + 1},
        {"Latin, one unbroken stretch too long", QString(), repeated(S("a") + zw, 5000), 5000},
        {"Latin, no marks, one word too long", QString(), repeated(S("a"), ComposerModel::mostUnbrokenPasted + 1), 0},
    };
    for (const auto& c : cases) {
        ComposerDraft draft;
        draft.insertText(-1, -1, c.kept);
        ASSERT_EQ(draft.attachments()->count(), 0) << c.what;
        const QString before = draft.text();
        const qsizetype marksBefore = draft.marks().size();
        draft.insertText(-1, -1, c.pasted);
        if (c.chipMarks < 0) {
            EXPECT_EQ(draft.attachments()->count(), 0) << c.what;
            EXPECT_EQ(draft.marks().size(), marksBefore + c.pasted.count(zw)) << c.what;
            continue;
        }
        ASSERT_EQ(draft.attachments()->count(), 1) << c.what;
        EXPECT_EQ(draft.text(), before) << c.what;
        EXPECT_EQ(draft.marks().size(), marksBefore) << c.what;
        const ChatAttachment chip = draft.attachments()->items()[0];
        if (c.chipMarks > 0) {
            EXPECT_TRUE(chip.name.startsWith(QLocale(QLocale::English).toString(qlonglong(c.chipMarks)) + S(" hidden character")))
                << c.what << ": " << chip.name.toStdString();
        }
        EXPECT_EQ(QString::fromUtf8(*chip.data), QString(c.pasted).replace(zw, S("<U+200B>"))) << c.what;
    }
}

// Picture data on the clipboard (as browsers and image viewers copy pictures): a type the agent
// takes goes as the bytes the user copied, and the cap judges those bytes; another format is
// converted, to JPEG when its PNG would pass the cap and nothing in it is transparent. A photo of
// 7.84 million noisy pixels is a JPEG of a few megabytes and a PNG past 20 MB.
TEST(ChatAttachments, pasted_picture_data_goes_as_the_picture_it_is_or_is_converted)
{
    QImage noise(2800, 2800, QImage::Format_RGB32);
    quint32 seed = 7;
    for (int y = 0; y < noise.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(noise.scanLine(y));
        for (int x = 0; x < noise.width(); ++x)
            line[x] = 0xff000000 | ((seed = seed * 1664525u + 1013904223u) >> 8);
    }
    const auto encoded = [](const QImage& image, const char* format) {
        QByteArray out;
        QBuffer buffer(&out);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, format, 60);
        return out;
    };
    const QByteArray photo = encoded(noise, "jpeg");
    ASSERT_GT(encoded(noise, "png").size(), ChatAttachments::imageCapBytes);
    // A WebP Qt writes (the image-formats plugin reads and writes it).
    const QByteArray webp = imageBytes("webp");
    const QByteArray png = imageBytes("png");
    QByteArray tooBig = photo;
    tooBig.append(QByteArray(ChatAttachments::imageCapBytes + 1 - photo.size(), '\0'));
    const struct {
        const char* what;
        const char* format;
        QByteArray bytes;
        const char* name;  // nullptr: refused as too large
        const char* type;
        QSize size;
        bool asGiven;
    } cases[] = {
        {"a JPEG photo", "image/jpeg", photo, "pasted.jpg", "image/jpeg", {2800, 2800}, true},
        {"a GIF", "image/gif", gifBytes(), "pasted.gif", "image/gif", {1, 1}, true},
        {"a WebP", "image/webp", webp, "pasted.webp", "image/webp", {40, 20}, true},
        {"a PNG offered as JPEG", "image/jpeg", png, "pasted.png", "image/png", {40, 20}, true},
        {"a BMP", "image/bmp", imageBytes("bmp"), "pasted.png", "image/png", {40, 20}, false},
        {"a TIFF", "image/tiff", imageBytes("tiff"), "pasted.png", "image/png", {40, 20}, false},
        {"a BMP photo", "image/bmp", encoded(noise, "bmp"), "pasted.jpg", "image/jpeg", {2800, 2800}, false},
        {"a JPEG over the cap", "image/jpeg", tooBig, nullptr, nullptr, {}, false},
    };
    for (const auto& c : cases) {
        QMimeData mime;
        mime.setData(S(c.format), c.bytes);
        mime.setText(S("ignored"));
        const auto r = ChatAttachments::fromMimeData(&mime);
        if (!c.name) {
            EXPECT_TRUE(r.attachments.isEmpty()) << c.what;
            EXPECT_EQ(r.refusal, ChatAttachments::tooLargeMessage()) << c.what;
            continue;
        }
        ASSERT_EQ(r.attachments.size(), 1) << c.what;
        const ChatAttachment& a = r.attachments[0];
        EXPECT_EQ(a.name, S(c.name)) << c.what;
        EXPECT_EQ(a.mediaType, S(c.type)) << c.what;
        EXPECT_TRUE(a.isImage) << c.what;
        EXPECT_EQ(ChatAttachments::imageTypeOf(*a.data), S(c.type)) << c.what;
        EXPECT_EQ(*a.data == c.bytes, c.asGiven) << c.what;
        if (c.size.isValid()) {
            EXPECT_EQ(QImage::fromData(*a.data).size(), c.size) << c.what;
        }
    }
}

// Pasting reads the clipboard on the GUI thread and nothing more: a picture is checked or
// converted, a long text scanned and converted, on a pool thread, and the chip comes after; the
// composer sends nothing meanwhile. Chips keep the order of the pastes. A text past the room the
// message has left is refused by its size, before it is converted.
TEST(AttachmentList, a_paste_is_read_on_the_gui_thread_and_made_into_chips_off_it)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    ASSERT_TRUE(clipboard);
    const QString longText = QString(ChatAttachments::textAttachmentChars, u'a') + QString::fromUtf8("\u202E");
    const QByteArray tiff = imageBytes("tiff");
    AttachmentListModel model;
    ClaudeSession session(QUuid::createUuid(), S("/tmp"), false, std::nullopt, ChatProvider::Claude, true);
    ComposerModel composer;
    composer.setSession(&session);
    composer.setAttachments(&model);
    const struct {
        const char* what;
        std::function<void(QMimeData*)> fill;
    } pastes[] = {
        {"a TIFF", [&](QMimeData* m) { m->setData(S("image/tiff"), tiff); }},
        {"a long text", [&](QMimeData* m) { m->setText(longText); }},
        {"a JPEG", [&](QMimeData* m) { m->setData(S("image/jpeg"), imageBytes("jpg")); }},
    };
    for (const auto& p : pastes) {
        auto* mime = new QMimeData;
        p.fill(mime);
        clipboard->setMimeData(mime);
        EXPECT_TRUE(model.pasteClipboard()) << p.what;
        EXPECT_TRUE(model.reading()) << p.what;
        EXPECT_FALSE(composer.canSend()) << p.what;
    }
    EXPECT_EQ(model.count(), 0);
    ASSERT_TRUE(waitUntil([&] { return !model.reading(); }));
    ASSERT_EQ(model.count(), 3);
    EXPECT_EQ(model.items()[0].name, S("pasted.png"));
    EXPECT_EQ(model.items()[1].name, S("Pasted text (97.7 kB, 1 hidden character as a mark)"));
    EXPECT_EQ(QString::fromUtf8(*model.items()[1].data), QString(ChatAttachments::textAttachmentChars, u'a') + S("<U+202E>"));
    EXPECT_EQ(model.items()[2].name, S("pasted.jpg"));
    EXPECT_TRUE(composer.canSend());
    EXPECT_EQ(model.notice(), QString());

    // Short text is the editor's; picture data that does not convert, with nothing else, says so.
    auto* shortText = new QMimeData;
    shortText->setText(S("short"));
    clipboard->setMimeData(shortText);
    EXPECT_FALSE(model.pasteClipboard());
    auto* garbage = new QMimeData;
    garbage->setData(S("image/tiff"), "not a tiff");
    clipboard->setMimeData(garbage);
    EXPECT_TRUE(model.pasteClipboard());
    ASSERT_TRUE(waitUntil([&] { return !model.reading(); }));
    EXPECT_EQ(model.count(), 3);
    EXPECT_EQ(model.notice(), ChatAttachments::unreadableImageMessage());

    // The bound: a text longer than the room left is refused with its size, and nothing is taken.
    ChatAttachments::PastedData text;
    text.text = QString(200000, u'é');
    AttachmentBudget budget;
    ASSERT_TRUE(budget.take(AttachmentBudget::maxChars - 150000));
    const auto refused = ChatAttachments::resolve(text, &budget);
    EXPECT_TRUE(refused.attachments.isEmpty());
    EXPECT_EQ(refused.refusal, S("Pasted text (390.6 kB) was not attached: the message's other attachments leave room for 146.5 kB more (243.2 MB together at most)."));
    EXPECT_EQ(budget.count(), 1);
    budget.give(AttachmentBudget::maxChars - 150000);
    const auto taken = ChatAttachments::resolve(text, &budget);
    ASSERT_EQ(taken.attachments.size(), 1);
    EXPECT_EQ(budget.chars(), 400000);
    clipboard->clear();
}

// A pasted text that is not attached is refused naming the bound it passed: larger than any message
// carries (whatever else the message holds), more than the room the other attachments leave, or one
// attachment past the count. A text of 250 MB is one attachment, never "at most 200 attachments".
TEST(AttachmentBudget, a_refused_text_names_the_bound_it_passed)
{
    constexpr qint64 MB = 1024 * 1024;
    AttachmentBudget empty, nearlyFull, fullCount;
    ASSERT_TRUE(nearlyFull.take(AttachmentBudget::maxChars - MB));
    for (int i = 0; i < AttachmentBudget::maxCount; ++i)
        ASSERT_TRUE(fullCount.take(10));
    const QString tooLarge = S(" was not attached: a pasted text can be at most 243.2 MB.");
    const struct {
        const char* what;
        qint64 bytes;
        bool over;
        const AttachmentBudget* budget;
        QString refusal;
    } cases[] = {
        {"250 MiB, an empty message", 250 * MB, false, &empty, S("Pasted text (250.0 MB)") + tooLarge},
        {"250 MiB, no message yet", 250 * MB, false, nullptr, S("Pasted text (250.0 MB)") + tooLarge},
        {"read past the bound, its size untold", AttachmentBudget::maxChars + 1, true, &empty, S("Pasted text (over 243.2 MB)") + tooLarge},
        {"250 MiB, the count reached too", 250 * MB, false, &fullCount, S("Pasted text (250.0 MB)") + tooLarge},
        {"3 MB, 1 MB of room left", 3 * MB, false, &nearlyFull,
         S("Pasted text (3.0 MB) was not attached: the message's other attachments leave room for 1.0 MB more (243.2 MB together at most).")},
        {"3 MB, the count reached", 3 * MB, false, &fullCount, AttachmentBudget::fullMessage(S("Pasted text (3.0 MB)"), 0)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AttachmentBudget::textRefusal(c.bytes, c.over, c.budget), c.refusal) << c.what;
    // The 200 attachments' line names that count.
    EXPECT_TRUE(AttachmentBudget::fullMessage(S("x"), 0).contains(S("at most 200 attachments")));

    // Through a paste of a text the count refuses: the same line, nothing taken.
    ChatAttachments::PastedData text;
    text.text = QString(ChatAttachments::textAttachmentChars, u'x');
    const auto refused = ChatAttachments::resolve(text, &fullCount);
    EXPECT_TRUE(refused.attachments.isEmpty());
    EXPECT_EQ(refused.refusal, AttachmentBudget::textRefusal(ChatAttachments::textAttachmentChars, false, &fullCount));
    EXPECT_TRUE(refused.refusal.contains(S("at most 200 attachments"))) << qPrintable(refused.refusal);
    EXPECT_EQ(fullCount.count(), AttachmentBudget::maxCount);
}

TEST(AttachmentList, removing_by_id_and_thumbnails_follow_the_list)
{
    AttachmentListModel model;
    ChatAttachment image;
    image.name = S("same");
    image.isImage = true;
    image.mediaType = S("image/png");
    image.data = imageBytes("png", {300, 100});
    ChatAttachment broken = image;
    broken.id = QUuid::createUuid();
    broken.data = QByteArray("not an image");
    model.append({image, broken});
    EXPECT_TRUE(model.data(model.index(0), AttachmentListModel::ShowsImageRole).toBool());
    EXPECT_FALSE(model.data(model.index(1), AttachmentListModel::ShowsImageRole).toBool());

    // The chip's picture: cropped to the square asked for, its corners cut away.
    AttachmentImages provider;
    QSize size;
    const QImage thumb = provider.requestImage(image.idText(), &size, {56, 56});
    EXPECT_EQ(size, QSize(56, 56));
    EXPECT_EQ(qAlpha(thumb.pixel(0, 0)), 0);
    EXPECT_EQ(thumb.pixelColor(28, 28), QColor(Qt::red));

    model.remove(image.idText());
    ASSERT_EQ(model.count(), 1);
    EXPECT_EQ(model.items()[0].id, broken.id);
    EXPECT_FALSE(AttachmentImages::isPublished(image.idText()));
}

TEST(Composer, sends_compacts_and_waits_for_an_answer_on_a_session)
{
    ClaudeSession session(QUuid::createUuid(), S("/tmp"), false, std::nullopt, ChatProvider::Claude, true);
    session.apply({SidecarEvent::Commands{{S("compact"), S("context"), S("cost")}}});
    ComposerModel composer;
    composer.setSession(&session);

    composer.setDraft(S("/co"));
    EXPECT_EQ(composer.slashMatches(), (QStringList{S("compact"), S("context"), S("cost")}));
    EXPECT_TRUE(composer.handleSpecialKey(Qt::Key_Escape));
    EXPECT_TRUE(composer.slashMatches().isEmpty());
    composer.setDraft(S("/con"));  // the next edit opens it again
    EXPECT_EQ(composer.slashMatches(), QStringList{S("context")});
    EXPECT_TRUE(composer.handleSpecialKey(Qt::Key_Enter));  // keypad Enter is Return
    EXPECT_EQ(composer.draft(), S("/context "));

    composer.setDraft(S("  \n"));
    composer.send();
    EXPECT_EQ(session.messageCount(), 0);
    composer.setDraft(S("hi"));
    composer.send();
    EXPECT_EQ(session.messageCount(), 1);
    EXPECT_EQ(composer.draft(), S(""));

    session.apply({SidecarEvent::Permission{S("p1"), S("Bash"), {}}});
    EXPECT_TRUE(composer.awaitingChoice());
    EXPECT_EQ(composer.placeholder(), S("Respond to the request above to continue…"));
    composer.setDraft(S("more"));
    composer.send();
    EXPECT_EQ(session.messageCount(), 1);
}

// The draft and its chips live with the session: a composer made again on it (its pane's view built
// anew) has them; once the session is gone, the composer that is left goes on with a store of its own.
TEST(Composer, the_draft_and_its_chips_are_kept_with_the_session)
{
    auto* session = new ClaudeSession(QUuid::createUuid(), S("/tmp"), false, std::nullopt, ChatProvider::Claude, true);
    ChatPaneMemory* memory = ChatPaneMemory::of(session);
    ASSERT_NE(memory, nullptr);
    EXPECT_EQ(ChatPaneMemory::of(session), memory);  // one per session
    EXPECT_EQ(ChatPaneMemory::of(nullptr), nullptr);
    ChatAttachment image;
    image.name = S("shot.png");
    image.isImage = true;
    image.mediaType = S("image/png");
    image.data = imageBytes("png");
    {
        ComposerModel first;
        first.setSession(session);
        first.setStore(memory->draft());
        first.setDraft(S("kept words\nsecond line"));
        first.attachments()->append({image});
    }
    ComposerModel second;
    second.setSession(session);
    second.setStore(memory->draft());
    EXPECT_EQ(second.draft(), S("kept words\nsecond line"));
    ASSERT_EQ(second.attachments()->count(), 1);
    EXPECT_EQ(second.attachments()->items().at(0).name, S("shot.png"));
    EXPECT_TRUE(second.canSend());

    delete session;  // a session the chat host does not hold keeps its own draft: it goes with it
    ASSERT_NE(second.attachments(), nullptr);
    EXPECT_EQ(second.attachments()->count(), 0);
    second.setDraft(S("after"));
    EXPECT_EQ(second.draft(), S("after"));
    second.attachments()->append({image});
    EXPECT_EQ(second.attachments()->count(), 1);
}

TEST(SessionControls, model_pill_gauge_and_effort_texts)
{
    EXPECT_EQ(SessionControls::prettyModel(S("claude-haiku-4-5-20251001")), S("Haiku 4.5"));
    EXPECT_EQ(SessionControls::prettyModel(S("claude-opus-4-8[1m]")), S("Opus 4.8"));
    EXPECT_EQ(SessionControls::prettyModel(S("claude-sonnet")), S("Sonnet"));
    EXPECT_EQ(SessionControls::prettyModel(S("claude-")), S("claude-"));
    EXPECT_EQ(SessionControls::prettyModel(S("gpt-5.4-mini")), S("gpt-5.4-mini"));
    EXPECT_EQ(SessionControls::modelLabel(S("claude"), S("")), S("Model"));
    EXPECT_EQ(SessionControls::modelLabel(S("claude"), S("claude-opus-4-8[1m]")), S("Opus 4.8"));
    EXPECT_TRUE(SessionControls::isActiveModel(S("claude-opus-4-8"), S("claude-opus-4-8[1m]")));
    EXPECT_EQ(SessionControls::modelLabel(S("codex"), S("o9-preview")), S("o9-preview"));
    EXPECT_EQ(SessionControls::currentMode(S("codex"), S("auto")).value("title"), S("Ask before running"));

    EXPECT_EQ(SessionControls::contextPercent(150000, 200000), 75);
    EXPECT_EQ(SessionControls::gaugeLevel(75), S("warning"));
    EXPECT_EQ(SessionControls::contextPercent(200001, 200000), 100);
    EXPECT_EQ(SessionControls::gaugeLevel(90), S("alert"));
    EXPECT_EQ(SessionControls::contextPercent(5, 0), 100);  // a window of 0 counts as 1
    EXPECT_EQ(SessionControls::gaugeTooltip(150000, 200000, false, 160000),
              S("Context 75% of 200k — type /compact to summarize"));
    EXPECT_EQ(SessionControls::gaugeTooltip(150000, 200000, true, 160000), S("Context 75% of 200k — auto-compacts at 80%"));

    EXPECT_EQ(SessionControls::effortLabel(S("")), S("High"));
    EXPECT_EQ(SessionControls::effortLabel(S("medium")), S("Med"));
    EXPECT_EQ(SessionControls::effortLabel(S("very HIGH")), S("Very High"));
}

TEST(HistoryPaging, pages_of_eight_and_the_list_height)
{
    EXPECT_EQ(HistoryPaging::listHeight(8, 8), 276);
    EXPECT_FALSE(HistoryPaging::hasMore(8, 8));
    EXPECT_EQ(HistoryPaging::listHeight(8, 9), 310);
    EXPECT_EQ(HistoryPaging::loadMoreText(8, 9), S("Load more (1 more)"));
    int visible = HistoryPaging::firstPage();
    EXPECT_EQ(HistoryPaging::loadMoreText(visible, 20), S("Load more (12 more)"));
    visible = HistoryPaging::nextPage(visible);
    EXPECT_EQ(HistoryPaging::rowsShown(visible, 20), 16);
    EXPECT_EQ(HistoryPaging::listHeight(visible, 20), 420);  // 17 items, capped
    EXPECT_EQ(HistoryPaging::listHeight(11, 11), 378);
    EXPECT_EQ(HistoryPaging::listHeight(12, 12), 412);
    visible = HistoryPaging::nextPage(visible);
    EXPECT_EQ(HistoryPaging::rowsShown(visible, 20), 20);
    EXPECT_FALSE(HistoryPaging::hasMore(visible, 20));
    EXPECT_EQ(HistoryPaging::identity(true, 20), S("hist--1"));
}
