// The composer's own reader of the X clipboard's text, against a real X server (a private Xvfb
// started here) and a real selection owner: a small owner on a connection and thread of its own,
// which serves its text whole or through INCR, and can also misbehave (never answer, die midway,
// trickle forever, lie about the size, send what is no text). Then the paste itself in a composer
// running on the xcb platform: the GUI thread never waits for the owner, a short text goes into the
// editor where it was pasted, a long one becomes a chip, in the order of the pastes.
#include "AttachmentListModel.h"
#include "ChatAttachments.h"
#include "ClaudeSession.h"
#include "ComposerDraft.h"
#include "ComposerModel.h"
#include "FieldPaste.h"
#include "LocalProcessTerminalView.h"
#include "MarkedEdit.h"
#include "RenderThreads.h"
#include "X11ClipboardReader.h"
#include "support/QtTestSupport.h"
#include "support/TaskLimit.h"

#include <QAbstractNativeEventFilter>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMimeData>
#include <QProcess>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QThreadPool>
#include <QTimer>

#include <QtQml/qqmlextensionplugin.h>

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <chrono>
#include <cstring>
#include <condition_variable>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>
#include <tuple>
#include <vector>

Q_IMPORT_QML_PLUGIN(Brinmoor_ChatPlugin)
Q_IMPORT_QML_PLUGIN(Brinmoor_AppPlugin)
Q_IMPORT_QML_PLUGIN(Brinmoor_AgentPlugin)

using namespace brinmoor;
using brinmoor::test::waitUntil;
namespace Reader = brinmoor::X11ClipboardReader;
using Reader::Outcome;

namespace {

QString S(const char* s)
{
    return QString::fromUtf8(s);
}

// A private X server for the whole run, and the application on the xcb platform on it.
class XEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        m_home = std::make_unique<QTemporaryDir>();
        brinmoor::test::useSandboxHome(m_home->path());
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        m_server.setProgram(S("Xvfb"));
        m_server.setArguments({S("-displayfd"), QString::number(fds[1]), S("-nolisten"), S("tcp"), S("-screen"), S("0"), S("640x480x24")});
        // The server keeps only the descriptor it writes its number to: one left to it (a death
        // test's pipe) would stay open after the test's own process has ended. It ends with the
        // test's process, also one killed before its end (a death test's child at its alarm).
        m_server.setChildProcessModifier([fd = fds[1]] {
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            for (int other = 3; other < 1024; ++other)
                if (other != fd)
                    ::close(other);
            ::fcntl(fd, F_SETFD, 0);
        });
        m_server.start();
        ::close(fds[1]);
        ASSERT_TRUE(m_server.waitForStarted()) << "Xvfb could not be started";
        QByteArray number;
        char c = 0;
        while (::read(fds[0], &c, 1) == 1 && c != '\n')
            number += c;
        ::close(fds[0]);
        ASSERT_FALSE(number.isEmpty()) << "Xvfb gave no display number";
        display = ":" + number;
        qputenv("DISPLAY", display);
        qputenv("QT_QPA_PLATFORM", "xcb");
        static int argc = 1;
        static char name[] = "brinmoor-x11-clipboard-tests";
        static char* argv[] = {name, nullptr};
        m_app = std::make_unique<QGuiApplication>(argc, argv);
        // As the app does at its start.
        ChatAttachments::quietClipboardSignals();
    }
    void TearDown() override
    {
        m_app.reset();
        m_server.terminate();
        m_server.waitForFinished();
        m_home.reset();
    }

    static inline QByteArray display;

private:
    std::unique_ptr<QTemporaryDir> m_home;
    QProcess m_server;
    std::unique_ptr<QGuiApplication> m_app;
};

[[maybe_unused]] ::testing::Environment* const xEnvironment = ::testing::AddGlobalTestEnvironment(new XEnvironment);

// How the owner behaves.
struct Script {
    QByteArray data;
    const char* type = "UTF8_STRING";         // the type the value is sent as
    int format = 8;                           // 8, 16 or 32 bits per item
    QList<const char*> targets{"UTF8_STRING"};  // the text types it converts to
    qint64 incrAbove = -1;                    // INCR for data longer than this; -1: never
    qint64 piece = 64 * 1024;                 // an INCR piece
    qint64 announce = -1;                     // what INCR announces; -1: the size
    bool silent = false;                      // never answers for text
    int diesAfter = -1;                       // stops after this many pieces
    bool endless = false;                     // INCR pieces never end
    bool held = false;                        // answers only once released
    bool hangs = false;                       // answers nothing, not even its list of types
    bool holdsTargets = false;                // lists its types only once released
    int pieceDelayMs = 0;                     // waits this long before each INCR piece (trickles)
    const char* selection = "CLIPBOARD";      // or "PRIMARY"
};

// A selection owner of the CLIPBOARD, on its own connection and thread.
class Owner {
public:
    explicit Owner(Script script) : m_script(std::move(script))
    {
        m_c = xcb_connect(XEnvironment::display.constData(), nullptr);
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data;
        m_window = xcb_generate_id(m_c);
        xcb_create_window(m_c, XCB_COPY_FROM_PARENT, m_window, screen->root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, screen->root_visual, 0, nullptr);
        m_clipboard = atom(m_script.selection);
        m_marker = QByteArray("application/x-brinmoor-test-owner-") + QByteArray::number(++s_owners);
        xcb_set_selection_owner(m_c, m_window, m_clipboard, XCB_CURRENT_TIME);
        // A round trip: the server has made it the owner when the constructor returns.
        std::free(xcb_get_selection_owner_reply(m_c, xcb_get_selection_owner(m_c, m_clipboard), nullptr));
        m_thread = std::thread([this] { serve(); });
    }
    ~Owner()
    {
        release();
        m_stop = true;
        m_thread.join();
        xcb_disconnect(m_c);
    }
    // Lets a held owner answer.
    void release()
    {
        std::lock_guard lock(m_mutex);
        m_released = true;
        m_wake.notify_all();
    }
    int piecesSent() const { return m_pieces; }
    // A type only this owner lists (and never converts to): Qt's list of types is this owner's
    // once it shows.
    QString marker() const { return QString::fromLatin1(m_marker); }
    bool asked() const { return m_asked; }
    // How often anybody asked for its list of types.
    int targetsAsked() const { return m_targetsAsked; }

private:
    xcb_atom_t atom(const char* name)
    {
        std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> r(
            xcb_intern_atom_reply(m_c, xcb_intern_atom(m_c, 0, uint16_t(strlen(name)), name), nullptr), &std::free);
        return r ? r->atom : XCB_NONE;
    }
    void notify(const xcb_selection_request_event_t* req, xcb_atom_t property)
    {
        xcb_selection_notify_event_t n{};
        n.response_type = XCB_SELECTION_NOTIFY;
        n.time = req->time;
        n.requestor = req->requestor;
        n.selection = req->selection;
        n.target = req->target;
        n.property = property;
        xcb_send_event(m_c, 0, req->requestor, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&n));
        xcb_flush(m_c);
    }
    void put(xcb_window_t w, xcb_atom_t property, const char* data, qint64 bytes)
    {
        const int unit = m_script.format / 8;
        xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, w, property, atom(m_script.type), uint8_t(m_script.format),
                            uint32_t(bytes / unit), data);
    }
    void answer(const xcb_selection_request_event_t* req)
    {
        if (req->target == atom("TARGETS")) {
            ++m_targetsAsked;
            if (m_script.hangs)
                return;
            if (m_script.holdsTargets) {
                std::unique_lock lock(m_mutex);
                m_wake.wait(lock, [this] { return m_released; });
            }
            std::vector<xcb_atom_t> list{atom("TARGETS"), atom(m_marker.constData())};
            for (const char* t : m_script.targets)
                list.push_back(atom(t));
            xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, req->requestor, req->property, XCB_ATOM_ATOM, 32,
                                uint32_t(list.size()), list.data());
            notify(req, req->property);
            return;
        }
        bool offered = false;
        for (const char* t : m_script.targets)
            offered = offered || req->target == atom(t);
        if (!offered) {
            notify(req, XCB_NONE);
            return;
        }
        m_asked = true;
        if (m_script.silent || m_script.hangs)
            return;
        if (m_script.held) {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_released; });
        }
        const qint64 size = m_script.data.size();
        if (m_script.incrAbove < 0 || size <= m_script.incrAbove) {
            put(req->requestor, req->property, m_script.data.constData(), size);
            notify(req, req->property);
            return;
        }
        const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_change_window_attributes(m_c, req->requestor, XCB_CW_EVENT_MASK, &events);
        const uint32_t announced = uint32_t(m_script.announce >= 0 ? m_script.announce : size);
        xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, req->requestor, req->property, atom("INCR"), 32, 1, &announced);
        m_incr[req->requestor] = {req->property, 0};
        notify(req, req->property);
    }
    // The requestor deleted the property: the next piece, at once or after the script's delay.
    void nextPiece(xcb_window_t requestor)
    {
        if (m_script.pieceDelayMs > 0)
            m_due[requestor] = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_script.pieceDelayMs);
        else
            sendPiece(requestor);
    }
    // The next piece, or the empty one that ends it.
    void sendPiece(xcb_window_t requestor)
    {
        auto it = m_incr.find(requestor);
        if (it == m_incr.end())
            return;
        auto& [property, offset] = it->second;
        if (m_script.diesAfter >= 0 && m_pieces >= m_script.diesAfter) {
            m_incr.erase(it);
            return;
        }
        const qint64 size = m_script.data.size();
        if (m_script.endless && offset >= size)
            offset = 0;
        const qint64 n = std::min(m_script.piece, size - offset);
        put(requestor, property, m_script.data.constData() + offset, n);
        xcb_flush(m_c);
        offset += n;
        if (n == 0)
            m_incr.erase(it);
        else
            ++m_pieces;
    }
    void serve()
    {
        while (!m_stop) {
            while (std::unique_ptr<xcb_generic_event_t, decltype(&std::free)> e{xcb_poll_for_event(m_c), &std::free}) {
                const int type = e->response_type & 0x7f;
                if (type == XCB_SELECTION_REQUEST)
                    answer(reinterpret_cast<const xcb_selection_request_event_t*>(e.get()));
                else if (type == XCB_PROPERTY_NOTIFY) {
                    const auto* p = reinterpret_cast<const xcb_property_notify_event_t*>(e.get());
                    if (p->state == XCB_PROPERTY_DELETE)
                        nextPiece(p->window);
                }
            }
            if (xcb_connection_has_error(m_c))
                return;
            for (auto it = m_due.begin(); it != m_due.end();) {
                if (it->second > std::chrono::steady_clock::now()) {
                    ++it;
                    continue;
                }
                const xcb_window_t requestor = it->first;
                it = m_due.erase(it);
                sendPiece(requestor);
            }
            // Wakes for the next event, a piece due, or to see whether the test has ended it.
            pollfd p{xcb_get_file_descriptor(m_c), POLLIN, 0};
            ::poll(&p, 1, m_due.empty() ? 50 : 5);
        }
    }

    static inline int s_owners = 0;
    Script m_script;
    QByteArray m_marker;
    xcb_connection_t* m_c = nullptr;
    xcb_window_t m_window = XCB_NONE;
    xcb_atom_t m_clipboard = XCB_NONE;
    std::map<xcb_window_t, std::pair<xcb_atom_t, qint64>> m_incr;  // requestor: property, bytes sent
    std::map<xcb_window_t, std::chrono::steady_clock::time_point> m_due;  // pieces to send when due
    std::atomic<int> m_pieces{0};
    std::atomic<int> m_targetsAsked{0};
    std::atomic<bool> m_asked{false};
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_released = false;
    std::thread m_thread;
};

// Text of `bytes` bytes of UTF-8 whose characters take 1 to 4 bytes, so that pieces of an odd
// size cut them anywhere.
QByteArray mixedText(qint64 bytes)
{
    const QByteArray unit = QByteArray("a\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80");  // a é € 😀: 10 bytes
    QByteArray out;
    out.reserve(bytes);
    while (out.size() + unit.size() <= bytes)
        out += unit;
    out += QByteArray(bytes - out.size(), 'z');
    return out;
}

constexpr qint64 MB = 1024 * 1024;

} // namespace

// What the reader makes of owners that behave and of owners that do not: the whole text, read in
// requests of pieceBytes and through INCR; the bound passed, refused as soon as it is known (an
// INCR announcement, a property's size, the pieces of one that lied or never ends); silence and
// an owner that dies midway end at the timeout; what is no text is said to be none.
TEST(X11ClipboardReader, reads_the_owners_text_and_refuses_what_is_too_large_or_no_text)
{
    const QByteArray small("a short text, with \xc3\xa9 in it");
    const QByteArray incr = mixedText(5 * MB + 3);
    const struct {
        const char* what;
        Script script;
        qint64 bound;
        Outcome outcome;
        qint64 size;            // bytes read, or the size known when refused
        int maxPieces = 1 << 30;  // INCR pieces the owner may have sent by the end
    } cases[] = {
        {"a short text", {.data = small}, 10 * MB, Outcome::Text, small.size()},
        {"exactly one request", {.data = mixedText(Reader::pieceBytes)}, 10 * MB, Outcome::Text, Reader::pieceBytes},
        {"exactly two requests", {.data = mixedText(2 * Reader::pieceBytes)}, 10 * MB, Outcome::Text, 2 * Reader::pieceBytes},
        {"one byte past a request", {.data = mixedText(Reader::pieceBytes + 1)}, 10 * MB, Outcome::Text, Reader::pieceBytes + 1},
        {"INCR in odd pieces that cut characters", {.data = incr, .incrAbove = 256 * 1024, .piece = 65537}, 10 * MB, Outcome::Text, incr.size()},
        {"INCR in pieces of a request", {.data = incr, .incrAbove = 0, .piece = Reader::pieceBytes}, 10 * MB, Outcome::Text, incr.size()},
        {"STRING only", {.data = "caf\xe9", .type = "STRING", .targets = {"STRING"}}, 10 * MB, Outcome::Text, 4},
        {"UTF-8 under its MIME name", {.data = small, .type = "text/plain;charset=utf-8", .targets = {"text/plain;charset=utf-8"}}, 10 * MB, Outcome::Text, small.size()},
        {"an empty text", {.data = ""}, 10 * MB, Outcome::Empty, 0},
        {"INCR announcing more than the bound", {.data = incr, .incrAbove = 0}, 1 * MB, Outcome::TooLarge, incr.size(), 0},
        {"INCR announcing less than it sends", {.data = incr, .incrAbove = 0, .announce = 10}, 1 * MB, Outcome::TooLarge, 1 * MB + 1, 17},
        {"an INCR that never ends", {.data = mixedText(64 * 1024), .incrAbove = 0, .endless = true}, 1 * MB, Outcome::TooLarge, 1 * MB + 1, 1 << 30},
        {"a property larger than the bound", {.data = mixedText(2 * MB)}, 1 * MB, Outcome::TooLarge, 2 * MB},
        {"an owner that never answers", {.data = small, .silent = true}, 10 * MB, Outcome::NoAnswer, 0},
        {"an owner that dies mid-INCR", {.data = incr, .incrAbove = 0, .diesAfter = 2}, 10 * MB, Outcome::NoAnswer, 0},
        {"a type that is no text", {.data = small, .type = "INTEGER"}, 10 * MB, Outcome::NotText, 0},
        {"16-bit items", {.data = "abcd", .format = 16}, 10 * MB, Outcome::NotText, 0},
        {"32-bit items", {.data = "abcdefgh", .format = 32}, 10 * MB, Outcome::NotText, 0},
        {"32-bit items in INCR pieces", {.data = "abcdefgh", .format = 32, .incrAbove = 0}, 10 * MB, Outcome::NotText, 0},
        {"no text type offered", {.data = small, .targets = {"image/png"}}, 10 * MB, Outcome::NotText, 0},
    };
    for (const auto& c : cases) {
        Owner owner(c.script);
        const Reader::Result r = Reader::readText(XEnvironment::display, c.bound, 300);
        EXPECT_EQ(r.outcome, c.outcome) << c.what;
        if (c.outcome == Outcome::Text) {
            EXPECT_EQ(r.bytes, c.script.data) << c.what;
            EXPECT_EQ(r.text(), c.script.type == std::string_view("STRING") ? QString::fromLatin1(c.script.data) : QString::fromUtf8(c.script.data)) << c.what;
        }
        if (c.outcome == Outcome::Text || c.outcome == Outcome::TooLarge) {
            if (c.size > c.bound)
                EXPECT_GE(r.size, c.size) << c.what;
            else
                EXPECT_EQ(r.size, c.size) << c.what;
        }
        if (c.outcome != Outcome::Text) {
            EXPECT_TRUE(r.bytes.isEmpty()) << c.what;
        }
        EXPECT_LE(owner.piecesSent(), c.maxPieces) << c.what;
    }

    // Nobody holds the clipboard.
    {
        Owner gone({.data = small});
    }
    EXPECT_EQ(Reader::readText(XEnvironment::display, MB, 300).outcome, Outcome::Empty);
    EXPECT_EQ(Reader::readText(":no-such-display", MB, 300).outcome, Outcome::Unreachable);
}

// As a paste: short text for the editor, a long one a chip, past the message's room refused by the
// line the composer shows for it; the owner's failures give their lines.
TEST(X11ClipboardReader, a_selection_read_becomes_editor_text_a_chip_or_a_line)
{
    const QByteArray longText = "LONG\n" + QByteArray(ChatAttachments::textAttachmentChars, 'x');
    {
        Owner owner({.data = "short \xe2\x80\xae text"});
        const auto r = ChatAttachments::fromSelectionText(XEnvironment::display);
        EXPECT_EQ(r.editorText, QString::fromUtf8("short \u202e text"));  // the editor marks it
        EXPECT_FALSE(r.handled());
    }
    {
        Owner owner({.data = longText, .incrAbove = 0});
        AttachmentBudget budget;
        const auto r = ChatAttachments::fromSelectionText(XEnvironment::display, &budget);
        ASSERT_EQ(r.attachments.size(), 1);
        EXPECT_EQ(r.attachments[0].name, S("Pasted text (97.7 kB)"));
        EXPECT_EQ(*r.attachments[0].data, longText);
        EXPECT_EQ(budget.chars(), longText.size());
    }
    {
        // 3 MB announced, where the message has 1 MB left: refused unread, named by its size.
        Owner owner({.data = mixedText(3 * MB), .incrAbove = 0});
        AttachmentBudget budget;
        ASSERT_TRUE(budget.take(AttachmentBudget::maxChars - MB));
        const auto r = ChatAttachments::fromSelectionText(XEnvironment::display, &budget);
        EXPECT_TRUE(r.attachments.isEmpty());
        EXPECT_EQ(r.refusal, S("Pasted text (3.0 MB) was not attached: the message's other attachments leave room for 1.0 MB more (243.2 MB together at most)."));
        EXPECT_EQ(owner.piecesSent(), 0);
        EXPECT_EQ(budget.count(), 1);
    }
    {
        // An INCR transfer that announces no size is read up to the bound, and named by that much.
        Owner owner({.data = mixedText(3 * MB), .incrAbove = 0, .piece = 200 * 1024, .announce = 0});
        AttachmentBudget budget;
        ASSERT_TRUE(budget.take(AttachmentBudget::maxChars - MB));
        const auto r = ChatAttachments::fromSelectionText(XEnvironment::display, &budget);
        EXPECT_EQ(r.refusal, S("Pasted text (over 1.2 MB) was not attached: the message's other attachments leave room for 1.0 MB more (243.2 MB together at most)."));
        EXPECT_EQ(owner.piecesSent(), 6);
    }
    {
        // 250 MiB announced to an empty message: one text larger than any message carries, refused
        // unread for that and not for a count of attachments it never reached.
        Owner owner({.data = mixedText(MB), .incrAbove = 0, .announce = 250 * MB});
        AttachmentBudget budget;
        const auto r = ChatAttachments::fromSelectionText(XEnvironment::display, &budget);
        EXPECT_TRUE(r.attachments.isEmpty());
        EXPECT_EQ(r.refusal, S("Pasted text (250.0 MB) was not attached: a pasted text can be at most 243.2 MB."));
        EXPECT_EQ(owner.piecesSent(), 0);
        EXPECT_EQ(budget.count(), 0);
    }
    const struct {
        Script script;
        QString line;
    } failures[] = {
        {{.data = "x", .silent = true}, ChatAttachments::clipboardSilentMessage()},
        {{.data = "x", .type = "INTEGER"}, ChatAttachments::clipboardNotTextMessage()},
    };
    for (const auto& f : failures) {
        Owner owner(f.script);
        const auto r = ChatAttachments::fromSelectionText(XEnvironment::display, nullptr, 300);
        EXPECT_EQ(r.refusal, f.line);
        EXPECT_TRUE(r.editorText.isEmpty());
    }
}

namespace {

// A composer's editor (the TextEdit it pastes into) and its chips.
struct Composer {
    Composer()
    {
        QQmlComponent component(&engine);
        component.setData("import QtQuick\nTextEdit { textFormat: TextEdit.PlainText }", {});
        edit.reset(qobject_cast<QQuickItem*>(component.create()));
    }
    QString text() const { return edit->property("text").toString(); }
    void select(int from, int to) { QMetaObject::invokeMethod(edit.get(), "select", Q_ARG(int, from), Q_ARG(int, to)); }

    QQmlEngine engine;
    std::unique_ptr<QQuickItem> edit;
    std::unique_ptr<AttachmentListModel> chips = std::make_unique<AttachmentListModel>();
};

// Waits until Qt has seen that `owner` holds the clipboard (its list of types).
bool qtSees(const Owner& owner)
{
    return waitUntil([&] {
        const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
        return mime && mime->hasFormat(owner.marker());
    });
}

} // namespace

// The paste on X11: taken at once, whatever the owner takes to answer (the GUI thread never waits
// for it: before, Qt's read waited for the held owner until its own timeout and found no text).
// A short text then goes over the selection where it was pasted, as one step to undo; a long one
// and a short one pasted after it come as a chip and as text, in that order; the app's own
// clipboard and picture data keep QClipboard's path.
TEST(AttachmentList, a_paste_on_x11_is_read_off_the_gui_thread_and_goes_where_it_was_pasted)
{
    ASSERT_EQ(QGuiApplication::platformName(), S("xcb"));
    Composer composer;
    ASSERT_TRUE(composer.edit);
    composer.edit->setProperty("text", S("one two three"));
    composer.select(4, 7);  // "two"
    {
        Owner owner({.data = "2 \xe2\x80\x94 2", .held = true});
        ASSERT_TRUE(qtSees(owner));
        EXPECT_TRUE(composer.chips->pasteClipboard(composer.edit.get()));
        EXPECT_TRUE(composer.chips->reading());
        EXPECT_EQ(composer.text(), S("one two three"));
        owner.release();
        ASSERT_TRUE(waitUntil([&] { return !composer.chips->reading(); }));
        EXPECT_TRUE(owner.asked());
    }
    EXPECT_EQ(composer.text(), QString::fromUtf8("one 2 \u2014 2 three"));
    EXPECT_EQ(composer.edit->property("cursorPosition").toInt(), 9);
    EXPECT_EQ(composer.chips->count(), 0);
    QMetaObject::invokeMethod(composer.edit.get(), "undo");
    EXPECT_EQ(composer.text(), S("one two three"));

    // A long text, then a short one at the end while the first is still held: the second paste
    // replaces the first (one paste is read at a time), so the short text goes in and no chip comes.
    composer.edit->setProperty("text", S("draft"));
    composer.edit->setProperty("cursorPosition", 5);
    {
        Owner first({.data = "LONG " + QByteArray(ChatAttachments::textAttachmentChars, 'y'), .incrAbove = 0, .held = true});
        ASSERT_TRUE(qtSees(first));
        EXPECT_TRUE(composer.chips->pasteClipboard(composer.edit.get()));
        ASSERT_TRUE(waitUntil([&] { return first.asked(); }));
        std::unique_ptr<Owner> second;
        {
            // A new owner takes the clipboard; the first keeps serving the read it was asked for.
            second = std::make_unique<Owner>(Script{.data = " and more"});
            ASSERT_TRUE(qtSees(*second));
            EXPECT_TRUE(composer.chips->pasteClipboard(composer.edit.get()));
        }
        EXPECT_EQ(composer.text(), S("draft"));
        ASSERT_TRUE(waitUntil([&] { return !composer.chips->reading(); }));
        first.release();
    }
    EXPECT_EQ(composer.text(), S("draft and more"));
    EXPECT_EQ(composer.chips->count(), 0);
    EXPECT_TRUE(composer.chips->notice().isEmpty());

    // An owner that sends what is no text: a line under the chips.
    composer.chips->clear();
    {
        Owner owner({.data = "x", .type = "INTEGER"});
        ASSERT_TRUE(qtSees(owner));
        EXPECT_TRUE(composer.chips->pasteClipboard(composer.edit.get()));
        ASSERT_TRUE(waitUntil([&] { return !composer.chips->reading(); }));
        EXPECT_EQ(composer.chips->notice(), ChatAttachments::clipboardNotTextMessage());
        EXPECT_EQ(composer.text(), S("draft and more"));
    }

    // The app's own clipboard is a copy in memory: a short text is the editor's own paste, as is
    // any paste without an editor to put it in.
    QGuiApplication::clipboard()->setText(S("ours"));
    ASSERT_TRUE(waitUntil([] { return QGuiApplication::clipboard()->ownsClipboard(); }));
    EXPECT_FALSE(composer.chips->pasteClipboard(composer.edit.get()));
    {
        Owner owner({.data = "theirs"});
        ASSERT_TRUE(waitUntil([] { return !QGuiApplication::clipboard()->ownsClipboard(); }));
        ASSERT_TRUE(qtSees(owner));
        EXPECT_FALSE(composer.chips->pasteClipboard());
    }
    // Picture data keeps its place before text: read as the picture it is (a one-pixel GIF: a
    // header alone is no picture).
    {
        const QByteArray gif("GIF89a\x01\x00\x01\x00\x80\x00\x00\x00\x00\x00\xff\xff\xff\x21\xf9\x04\x01\x00\x00\x00\x00"
                             "\x2c\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00\x3b", 43);
        Owner owner({.data = gif, .type = "image/gif", .targets = {"image/gif", "UTF8_STRING"}});
        ASSERT_TRUE(qtSees(owner));
        EXPECT_TRUE(composer.chips->pasteClipboard(composer.edit.get()));
        ASSERT_TRUE(waitUntil([&] { return !composer.chips->reading(); }));
        ASSERT_EQ(composer.chips->count(), 1);
        EXPECT_EQ(composer.chips->items()[0].name, S("pasted.gif"));
    }
}

// A pane closed while its paste is read: the read ends with nothing to give its text to.
TEST(AttachmentList, a_pane_closed_mid_read_leaves_the_read_nowhere_to_go)
{
    auto composer = std::make_unique<Composer>();
    Owner owner({.data = "LONG " + QByteArray(ChatAttachments::textAttachmentChars, 'z'), .incrAbove = 0, .held = true});
    ASSERT_TRUE(qtSees(owner));
    EXPECT_TRUE(composer->chips->pasteClipboard(composer->edit.get()));
    ASSERT_TRUE(waitUntil([&] { return owner.asked(); }));
    composer.reset();
    owner.release();
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    SUCCEED();
}

namespace {

// Counts the XFixes selection events the application has handled: Qt hears through them that
// another program took a selection, and tells QClipboard's listeners in the same dispatch.
class SelectionEvents : public QAbstractNativeEventFilter {
public:
    SelectionEvents()
    {
        xcb_connection_t* c = xcb_connect(XEnvironment::display.constData(), nullptr);
        std::unique_ptr<xcb_query_extension_reply_t, decltype(&std::free)> r(
            xcb_query_extension_reply(c, xcb_query_extension(c, 6, "XFIXES"), nullptr), &std::free);
        m_first = r && r->present ? r->first_event : -1;
        xcb_disconnect(c);
        QCoreApplication::instance()->installNativeEventFilter(this);
    }
    ~SelectionEvents() override { QCoreApplication::instance()->removeNativeEventFilter(this); }
    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override
    {
        // XCB_XFIXES_SELECTION_NOTIFY is the extension's first event.
        if (type == "xcb_generic_event_t" && (static_cast<xcb_generic_event_t*>(message)->response_type & 0x7f) == m_first)
            ++seen;
        return false;
    }
    bool present() const { return m_first >= 0; }
    int seen = 0;

private:
    int m_first = -1;
};

// Waits until Qt knows that the app no longer holds `mode`'s selection (another program took it);
// nothing is asked of the new owner.
bool appLost(QClipboard::Mode mode)
{
    return waitUntil([mode] {
        const QClipboard* c = QGuiApplication::clipboard();
        return mode == QClipboard::Selection ? !c->ownsSelection() : !c->ownsClipboard();
    });
}

// A composer's editor as the chat pane has it, in a window, with its chips.
struct EditorWindow {
    EditorWindow()
    {
        engine.addImportPath(S("qrc:/"));
        QQmlComponent component(&engine);
        component.setData(R"(
            import QtQuick
            import Brinmoor.Chat
            Window {
                width: 400; height: 120; visible: true
                property alias editor: editor
                property alias chips: chips
                AttachmentListModel { id: chips }
                ChatTextEditor { id: editor; width: 380; attachmentSink: chips }
            })", QUrl(S("qrc:/test/Editor.qml")));
        root.reset(component.create());
        if (!root)
            ADD_FAILURE() << component.errorString().toStdString();
    }
    QQuickWindow* window() const { return qobject_cast<QQuickWindow*>(root.get()); }
    QQuickItem* edit() const { return root->property("editor").value<QObject*>()->property("textItem").value<QQuickItem*>(); }
    AttachmentListModel* chips() const { return root->property("chips").value<AttachmentListModel*>(); }
    QString text() const { return edit()->property("text").toString(); }
    // A middle click on the place of the character at `position`.
    void middleClick(int position) const
    {
        QRectF r;
        QMetaObject::invokeMethod(edit(), "positionToRectangle", Q_RETURN_ARG(QRectF, r), Q_ARG(int, position));
        const QPointF at = edit()->mapToScene(r.center());
        QTest::mouseClick(window(), Qt::MiddleButton, {}, at.toPoint());
    }

    QQmlEngine engine;
    std::unique_ptr<QObject> root;
};

} // namespace

// Another program takes the clipboard and then answers nothing: Qt's own text fields (a TextEdit,
// a TextInput) ask it nothing on the GUI thread when Qt hears of it. Before, each asked for the
// owner's list of types to know whether it could paste, and waited 5 s for it, one after another.
TEST(QtTextFields, an_owner_that_answers_nothing_is_asked_nothing_when_it_takes_the_clipboard)
{
    SelectionEvents events;
    ASSERT_TRUE(events.present());
    QQmlEngine engine;
    std::vector<std::unique_ptr<QObject>> fields;
    for (const char* qml : {"import QtQuick\nTextEdit {}", "import QtQuick\nTextInput {}"}) {
        QQmlComponent component(&engine);
        component.setData(qml, {});
        fields.emplace_back(component.create());
        ASSERT_TRUE(fields.back());
    }
    const int before = events.seen;
    Owner owner({.data = "x", .hangs = true});
    // The event was handled, and whatever Qt's listeners did with it is done.
    ASSERT_TRUE(waitUntil([&] { return events.seen > before; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(owner.targetsAsked(), 0);
}

// Ctrl+V when another program holds the clipboard: the owner is asked everything (its list of
// types too) off the GUI thread. An owner that lists its types only later: the paste is taken at
// once, the composer says it waits for the owner, and the text comes once it answers. One that
// answers nothing: a line says so.
TEST(AttachmentList, ctrl_v_asks_the_owner_nothing_on_the_gui_thread_and_says_when_it_does_not_answer)
{
    Composer composer;
    composer.chips->setAnswerTimeout(300);
    composer.edit->setProperty("text", S("say "));
    composer.edit->setProperty("cursorPosition", 4);
    {
        Owner owner({.data = "\xd7\xa9\xd7\x9c\xd7\x95\xd7\x9d hello", .holdsTargets = true});
        ASSERT_TRUE(appLost(QClipboard::Clipboard));
        EXPECT_TRUE(composer.chips->pasteClipboard(composer.edit.get()));
        EXPECT_TRUE(composer.chips->pasting());
        EXPECT_EQ(composer.chips->pasteStatus(), S("Waiting for the program holding the clipboard…"));
        ASSERT_TRUE(waitUntil([&] { return owner.targetsAsked() > 0; }));
        owner.release();
        ASSERT_TRUE(waitUntil([&] { return !composer.chips->reading(); }));
    }
    // Right-to-left text goes in as it came, where it was pasted.
    EXPECT_EQ(composer.text(), QString::fromUtf8("say \u05e9\u05dc\u05d5\u05dd hello"));
    EXPECT_FALSE(composer.chips->pasting());
    EXPECT_EQ(composer.chips->pasteStatus(), QString());
    {
        Owner owner({.data = "x", .hangs = true});
        ASSERT_TRUE(waitUntil([&] { return !QGuiApplication::clipboard()->ownsClipboard(); }));
        EXPECT_TRUE(composer.chips->pasteClipboard(composer.edit.get()));
        ASSERT_TRUE(waitUntil([&] { return !composer.chips->reading(); }));
        EXPECT_EQ(composer.chips->notice(), ChatAttachments::clipboardNoAnswerMessage());
        EXPECT_EQ(composer.chips->notice(), S("Nothing was pasted: the program holding the clipboard did not answer."));
        EXPECT_EQ(composer.text(), QString::fromUtf8("say \u05e9\u05dc\u05d5\u05dd hello"));
        // The next paste takes the line away as it starts.
        EXPECT_TRUE(composer.chips->pasteClipboard(composer.edit.get()));
        EXPECT_EQ(composer.chips->notice(), QString());
        composer.chips->cancelPaste();
    }
}

// Ctrl+V pressed again and again while an owner trickles its text (1 KB at a time): each paste
// replaces the one being read, on the composer's own threads (Qt's shared pool, which the software
// renderer splits its fills over, is left free), and what it has read so far shows. The last paste
// alone becomes a chip, whole.
TEST(AttachmentList, pastes_again_and_again_from_a_trickling_owner_are_read_one_at_a_time_off_the_shared_pool)
{
    Composer composer;
    const QByteArray text(120 * 1024, 't');
    Owner owner({.data = text, .incrAbove = 0, .piece = 1024, .pieceDelayMs = 10});
    ASSERT_TRUE(appLost(QClipboard::Clipboard));
    for (int i = 0; i < 12; ++i) {
        EXPECT_TRUE(composer.chips->pasteClipboard(composer.edit.get()));
        EXPECT_EQ(QThreadPool::globalInstance()->activeThreadCount(), 0) << i;
    }
    ASSERT_TRUE(waitUntil([&] { return composer.chips->pasteStatus().contains(S("so far")); }))
        << composer.chips->pasteStatus().toStdString() << " pieces sent: " << owner.piecesSent() << " notice: " << composer.chips->notice().toStdString();
    EXPECT_TRUE(composer.chips->pasteStatus().startsWith(S("Reading the paste from the program holding the clipboard: "))) << composer.chips->pasteStatus().toStdString();
    EXPECT_EQ(QThreadPool::globalInstance()->activeThreadCount(), 0);
    ASSERT_TRUE(waitUntil([&] { return !composer.chips->reading(); }, 30000));
    ASSERT_EQ(composer.chips->count(), 1);
    EXPECT_EQ(*composer.chips->items()[0].data, text);
    EXPECT_TRUE(composer.chips->notice().isEmpty());
    EXPECT_EQ(composer.text(), QString());
}

// Return pressed while a paste is read: the message goes once the paste is in, with it (the
// composer says it waits meanwhile). Cancel ends the paste and keeps the draft; a paste that is
// refused keeps it too, with the line that says why.
TEST(Composer, a_return_during_a_paste_sends_the_message_with_it_once_it_is_in)
{
    ClaudeSession session(QUuid::createUuid(), S("/tmp"), false, std::nullopt, ChatProvider::Claude, true);
    Composer editor;
    ComposerModel composer;
    composer.setSession(&session);
    composer.setTextEdit(editor.edit.get());
    AttachmentListModel* chips = composer.attachments();
    chips->setAnswerTimeout(300);
    const auto typed = [&](const char* text) {
        editor.edit->setProperty("text", S(text));
        editor.edit->setProperty("cursorPosition", int(S(text).size()));
    };
    typed("word ");
    {
        Owner owner({.data = "pasted", .held = true});
        ASSERT_TRUE(appLost(QClipboard::Clipboard));
        EXPECT_TRUE(chips->pasteClipboard(editor.edit.get()));
        composer.send();
        EXPECT_EQ(session.messageCount(), 0);
        EXPECT_TRUE(chips->sendPending());
        EXPECT_TRUE(chips->pasteStatus().endsWith(S(" The message goes once it is in."))) << chips->pasteStatus().toStdString();
        owner.release();
        ASSERT_TRUE(waitUntil([&] { return session.messageCount() == 1; }));
    }
    ASSERT_FALSE(session.transcript().last().blocks.isEmpty());
    EXPECT_EQ(session.transcript().last().blocks[0].text, S("word pasted"));
    EXPECT_EQ(composer.draft(), QString());
    EXPECT_FALSE(chips->sendPending());

    // Cancelled: nothing of the paste, no message, the draft as it was.
    typed("kept");
    {
        Owner owner({.data = "never", .held = true});
        ASSERT_TRUE(appLost(QClipboard::Clipboard));
        EXPECT_TRUE(chips->pasteClipboard(editor.edit.get()));
        composer.send();
        chips->cancelPaste();
        EXPECT_FALSE(chips->pasting());
        EXPECT_FALSE(chips->sendPending());
        ASSERT_TRUE(waitUntil([&] { return !chips->reading(); }));
        owner.release();
    }
    EXPECT_EQ(session.messageCount(), 1);
    EXPECT_EQ(composer.draft(), S("kept"));

    // Refused: the line says why; the draft stays.
    {
        Owner owner({.data = "x", .type = "INTEGER"});
        ASSERT_TRUE(appLost(QClipboard::Clipboard));
        EXPECT_TRUE(chips->pasteClipboard(editor.edit.get()));
        composer.send();
        ASSERT_TRUE(waitUntil([&] { return !chips->reading(); }));
    }
    EXPECT_EQ(chips->notice(), ChatAttachments::clipboardNotTextMessage());
    EXPECT_EQ(session.messageCount(), 1);
    EXPECT_EQ(composer.draft(), S("kept"));
}

namespace {

// A chat pane's composer as the pane builds it: a model on the pane's draft with an editor and the
// pane's session. A restart builds another on a new session; a stopped pane has none.
struct PaneComposer {
    PaneComposer(ComposerDraft* draft, QObject* session)
    {
        model.setSession(session);
        model.setStore(draft);
        model.setTextEdit(editor.edit.get());
    }
    QQuickItem* edit() const { return editor.edit.get(); }
    Composer editor;
    ComposerModel model;
};

std::unique_ptr<ClaudeSession> newSession()
{
    return std::make_unique<ClaudeSession>(QUuid::createUuid(), S("/tmp"), false, std::nullopt, ChatProvider::Claude, true);
}

QString sent(const ClaudeSession& session)
{
    if (session.messageCount() == 0 || session.transcript().last().blocks.isEmpty())
        return {};
    return session.transcript().last().blocks[0].text;
}

} // namespace

// A paste still read when the pane's session restarts (its composer built anew) or stops (its
// composer gone until the next start) belongs to the pane's draft: it lands where it was asked for
// in the composer the user then sees, or in the kept draft while there is none, and a message that
// waited for it goes with it from the next composer. Before, the place of the paste was a cursor
// in the editor that went: the text was dropped, and the waiting message went without it.
TEST(Composer, a_paste_read_across_a_restart_or_a_stop_lands_in_the_panes_draft_and_goes_with_its_message)
{
    enum class Then {
        Nothing,        // the ordinary path: the same composer all along
        Restart,        // a new composer on a new session before the paste comes
        RestartEditorFirst,  // the same, the old editor torn down before its model
        Stop,           // no composer when the paste comes; a new one (a restart) after
        StopUnderComposer,  // the session stopped, its composer not torn down yet when the paste comes
    };
    const struct Case {
        const char* what;
        const char* draft;
        int from, to;  // the selection the paste goes over
        const char* pasted;
        Then then;
        bool returnFirst;  // Return before the restart; else after it, in the new composer
        const char* typedAfter;  // typed at the draft's start in the new composer before the paste comes
        bool trickles;
        const char* expected;
    } cases[] = {
        {"no restart", "word ", 5, 5, "pasted", Then::Nothing, true, "", false, "word pasted"},
        {"no restart, right to left", "\xd7\xa9\xd7\x9c\xd7\x95\xd7\x9d ", 5, 5, "\xd7\xa2\xd7\x95\xd7\x9c\xd7\x9d", Then::Nothing, true, "", false,
         "\xd7\xa9\xd7\x9c\xd7\x95\xd7\x9d \xd7\xa2\xd7\x95\xd7\x9c\xd7\x9d"},
        {"Return, then restart", "word ", 5, 5, "pasted", Then::Restart, true, "", true, "word pasted"},
        {"restart, then Return", "word ", 5, 5, "pasted", Then::Restart, false, "", false, "word pasted"},
        {"restart, typing before the paste, over a selection", "a word here", 2, 6, "\xd7\xa9\xd7\x9c\xd7\x95\xd7\x9d", Then::Restart, false, "> ", false,
         "> a \xd7\xa9\xd7\x9c\xd7\x95\xd7\x9d here"},
        {"restart, the editor going first", "word ", 5, 5, "pasted", Then::RestartEditorFirst, true, "", false, "word pasted"},
        {"stop, then restart", "word ", 5, 5, "pasted", Then::Stop, true, "", true, "word pasted"},
        {"stop with the composer still up, then restart", "word ", 5, 5, "pasted", Then::StopUnderComposer, true, "", false, "word pasted"},
        {"stop, right to left, then restart", "\xd7\xa9\xd7\x9c\xd7\x95\xd7\x9d ", 0, 0, "hello ", Then::Stop, true, "", false,
         "hello \xd7\xa9\xd7\x9c\xd7\x95\xd7\x9d "},
    };
    // A session that has stopped, as the composer sees it.
    QObject stopped;
    stopped.setProperty("accepting", false);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ComposerDraft draft;
        AttachmentListModel* chips = draft.attachments();
        auto session = newSession();
        auto composer = std::make_unique<PaneComposer>(&draft, session.get());
        composer->edit()->setProperty("text", S(c.draft));
        QMetaObject::invokeMethod(composer->edit(), "select", Q_ARG(int, c.from), Q_ARG(int, c.to));

        Script script{.data = c.pasted, .held = true};
        if (c.trickles) {
            script.incrAbove = 0;
            script.piece = 2;
            script.pieceDelayMs = 20;
        }
        Owner owner(script);
        ASSERT_TRUE(appLost(QClipboard::Clipboard));
        ASSERT_TRUE(chips->pasteClipboard(composer->edit()));
        if (c.returnFirst) {
            composer->model.send();
            ASSERT_TRUE(chips->sendPending());
        }
        std::unique_ptr<ClaudeSession> before;
        switch (c.then) {
        case Then::Nothing:
            break;
        case Then::RestartEditorFirst:
            composer->editor.edit.reset();
            [[fallthrough]];
        case Then::Restart:
            composer.reset();
            before = std::exchange(session, newSession());
            composer = std::make_unique<PaneComposer>(&draft, session.get());
            break;
        case Then::Stop:
            composer.reset();
            before = std::exchange(session, newSession());
            break;
        case Then::StopUnderComposer:
            composer->model.setSession(&stopped);
            before = std::exchange(session, newSession());
            break;
        }
        if (composer && c.then != Then::StopUnderComposer) {
            // The new composer shows the draft as it was, the paste not in yet.
            EXPECT_EQ(composer->model.draft(), S(c.draft));
            QMetaObject::invokeMethod(composer->edit(), "insert", Q_ARG(int, 0), Q_ARG(QString, S(c.typedAfter)));
            if (!c.returnFirst)
                composer->model.send();
            EXPECT_TRUE(chips->sendPending());
        }
        owner.release();
        ASSERT_TRUE(waitUntil([&] { return !chips->reading(); }));
        if (before) {
            EXPECT_EQ(before->messageCount(), 0);
        }
        if (c.then == Then::Stop || c.then == Then::StopUnderComposer) {
            // No composer: the paste is in the pane's draft, the cursor after it, and the message
            // waits for the composer of the next start.
            QCoreApplication::processEvents();
            composer.reset();
            EXPECT_EQ(draft.text(), S(c.expected));
            EXPECT_EQ(draft.cursorPosition(), c.from + int(S(c.pasted).size()));
            EXPECT_TRUE(chips->sendPending());
            EXPECT_EQ(chips->pasteStatus(), S("The paste is in. The message goes once its session is back."));
            QCoreApplication::processEvents();
            composer = std::make_unique<PaneComposer>(&draft, session.get());
        }
        ASSERT_TRUE(waitUntil([&] { return session->messageCount() == 1; }));
        // The session sends the draft trimmed.
        EXPECT_EQ(sent(*session), S(c.expected).trimmed());
        EXPECT_EQ(composer->model.draft(), QString());
        EXPECT_FALSE(chips->sendPending());
        EXPECT_TRUE(chips->notice().isEmpty()) << chips->notice().toStdString();
    }

    // A paste that comes while the pane is stopped, no message waiting: it is in the draft the
    // next composer shows, where it was asked for, and nothing is sent. Its hidden characters are
    // marks there as in the editor (between left-to-right marks beside right-to-left letters).
    const struct {
        const char* pasted;
        const char* reads;  // the draft as the next composer gives it
        const char* mark;   // the hidden character's mark, as it stands in the kept text
    } stoppedCases[] = {
        {"\xd7\x90", "a\xd7\x90" "b", nullptr},
        {"x\xe2\x80\xae", "ax<U+202E>b", "<U+202E>"},
        {"\xd7\x90\xe2\x80\xae", "a\xd7\x90<U+202E>b", "\xe2\x80\x8e<U+202E>\xe2\x80\x8e"},
    };
    for (const auto& c : stoppedCases) {
        SCOPED_TRACE(c.pasted);
        ComposerDraft draft;
        auto session = newSession();
        auto composer = std::make_unique<PaneComposer>(&draft, session.get());
        composer->edit()->setProperty("text", S("ab"));
        composer->edit()->setProperty("cursorPosition", 1);
        {
            Owner owner({.data = c.pasted, .held = true});
            ASSERT_TRUE(appLost(QClipboard::Clipboard));
            ASSERT_TRUE(draft.attachments()->pasteClipboard(composer->edit()));
            composer.reset();
            owner.release();
            ASSERT_TRUE(waitUntil([&] { return !draft.attachments()->reading(); }));
        }
        const QString kept = c.mark ? S("a") + S(c.pasted).chopped(1) + S(c.mark) + S("b") : S(c.reads);
        EXPECT_EQ(draft.text(), kept);
        EXPECT_EQ(draft.cursorPosition(), int(kept.size()) - 1);
        ASSERT_EQ(draft.marks().size(), c.mark ? 1 : 0);
        composer = std::make_unique<PaneComposer>(&draft, session.get());
        EXPECT_EQ(composer->model.draft(), S(c.reads));
        EXPECT_EQ(composer->model.hiddenCount(), c.mark ? 1 : 0);
        EXPECT_EQ(composer->edit()->property("cursorPosition").toInt(), int(kept.size()) - 1);
        QCoreApplication::processEvents();
        EXPECT_EQ(session->messageCount(), 0);
    }
}

// A pane (or the window) closed while an owner trickles a paste forever: the read ends at once,
// its thread with it, and nothing is left on Qt's shared pool for the application's end to wait
// for (before, the process lived on until the read's two-minute limit).
TEST(AttachmentList, a_pane_closed_mid_read_ends_the_read_at_once)
{
    auto composer = std::make_unique<Composer>();
    Owner owner({.data = QByteArray(4096, 'e'), .incrAbove = 0, .piece = 1024, .endless = true, .pieceDelayMs = 20});
    ASSERT_TRUE(appLost(QClipboard::Clipboard));
    EXPECT_TRUE(composer->chips->pasteClipboard(composer->edit.get()));
    ASSERT_TRUE(waitUntil([&] { return composer->chips->pasteStatus().contains(S("so far")); }));
    QElapsedTimer closing;
    closing.start();
    composer.reset();
    EXPECT_LT(closing.elapsed(), 2000);
    EXPECT_EQ(QThreadPool::globalInstance()->activeThreadCount(), 0);
}

// A middle click in the composer's editor pastes the primary selection as Ctrl+V pastes the
// clipboard: off the GUI thread (the click is done while the owner has not even listed its types),
// a short text where it was clicked, a long one (2 MB) as a chip with the draft left as it was.
// Before, TextEdit read and laid out all of it on the GUI thread.
TEST(ChatTextEditor, a_middle_click_pastes_the_primary_selection_off_the_gui_thread)
{
    EditorWindow w;
    ASSERT_TRUE(w.root);
    ASSERT_TRUE(waitUntil([&] { return w.window()->isExposed(); }));
    w.chips()->setAnswerTimeout(2000);
    w.edit()->setProperty("text", S("ab cd"));
    {
        Owner owner({.data = "XY", .selection = "PRIMARY"});
        ASSERT_TRUE(appLost(QClipboard::Selection));
        w.middleClick(3);
        ASSERT_TRUE(waitUntil([&] { return w.text() == S("ab XYcd"); })) << w.text().toStdString();
    }
    const QByteArray big(2 * MB, 'm');
    {
        Owner owner({.data = big, .incrAbove = 256 * 1024, .holdsTargets = true, .selection = "PRIMARY"});
        ASSERT_TRUE(appLost(QClipboard::Selection));
        w.middleClick(0);
        EXPECT_TRUE(w.chips()->pasting());
        owner.release();
        ASSERT_TRUE(waitUntil([&] { return w.chips()->count() == 1; }));
    }
    EXPECT_EQ(*w.chips()->items()[0].data, big);
    EXPECT_EQ(w.text(), S("ab XYcd"));
}

// What another program reads from the X primary selection, read off the GUI thread (which answers
// for the app's own selection meanwhile).
QString primaryAsAnotherProgramReadsIt()
{
    auto read = std::async(std::launch::async, [] {
        Reader::Reader reader(XEnvironment::display, Reader::Selection::Primary, 3000);
        return reader.text(MB);
    });
    waitUntil([&] { return read.wait_for(std::chrono::seconds(0)) == std::future_status::ready; });
    const Reader::Result r = read.get();
    return r.outcome == Outcome::Text ? r.text() : QString();
}

// A selection made by the keyboard (Home and Shift+End, Ctrl+A, Shift and the arrows) or the mouse
// in the composer's editor puts the draft's true text in the X primary selection, the mark's
// written form and never the left-to-right marks that fence it in right-to-left text, whatever another program (or a middle click) reads it
// with; Ctrl+C gives the same. Before, Qt's editor wrote its document's text there, the marks'
// isolates (or fences) included, and a middle click put U+2066 and U+2069 into a shell. Hebrew and Arabic beside Latin.
TEST(ChatTextEditor, a_selection_puts_the_drafts_true_text_in_the_primary_selection)
{
    EditorWindow w;
    ASSERT_TRUE(w.root);
    ASSERT_TRUE(waitUntil([&] { return w.window()->isExposed(); }));
    ComposerModel model;
    model.setTextEdit(w.edit());
    QClipboard* clipboard = QGuiApplication::clipboard();
    ASSERT_TRUE(clipboard->supportsSelection());
    const auto key = [&](Qt::Key k, Qt::KeyboardModifiers mods = {}) { QTest::keyClick(w.window(), k, mods); };
    for (const char* pasted : {"\u05D0\u05D1\u200B\u05D2\u05D3", "\u0627\u0628\u200B\u062C\u062F", "ab\u200Bcd"}) {
        const QString text = S(pasted);
        const QString draft = QString(text).replace(QChar(0x200B), S("<U+200B>"));
        const bool rightToLeft = text.at(0).isLetter() && text.at(0).script() != QChar::Script_Latin;
        w.edit()->setProperty("text", text);
        ASSERT_TRUE(waitUntil([&] { return model.hiddenCount() == 1; })) << pasted;
        ASSERT_EQ(w.text().contains(QChar(0x200E)), rightToLeft) << pasted;
        QMetaObject::invokeMethod(w.edit(), "forceActiveFocus");
        const std::vector<std::pair<const char*, std::function<void()>>> selections{
            {"Home, Shift+End", [&] { key(Qt::Key_Home); key(Qt::Key_End, Qt::ShiftModifier); }},
            {"Ctrl+A", [&] { key(Qt::Key_End); key(Qt::Key_A, Qt::ControlModifier); }},
            {"Shift and the arrows", [&] {
                 key(Qt::Key_Home);
                 for (int i = 0; i < w.text().size(); ++i)
                     key(rightToLeft ? Qt::Key_Left : Qt::Key_Right, Qt::ShiftModifier);
             }},
            {"a drag of the mouse", [&] {
                 key(Qt::Key_End);
                 QRectF first, last;
                 QMetaObject::invokeMethod(w.edit(), "positionToRectangle", Q_RETURN_ARG(QRectF, first), Q_ARG(int, 0));
                 QMetaObject::invokeMethod(w.edit(), "positionToRectangle", Q_RETURN_ARG(QRectF, last), Q_ARG(int, int(w.text().size())));
                 const QPoint from = w.edit()->mapToScene(first.center()).toPoint();
                 const QPoint to = w.edit()->mapToScene(last.center()).toPoint();
                 QTest::mousePress(w.window(), Qt::LeftButton, {}, from);
                 for (int step = 1; step <= 8; ++step)
                     QTest::mouseMove(w.window(), from + (to - from) * step / 8);
                 QTest::mouseRelease(w.window(), Qt::LeftButton, {}, to);
             }},
        };
        for (const auto& [how, select] : selections) {
            clipboard->setText(S("before"), QClipboard::Selection);
            select();
            EXPECT_EQ(w.edit()->property("selectedText").toString().size(), w.text().size()) << pasted << ": " << how;
            EXPECT_TRUE(waitUntil([&] { return clipboard->text(QClipboard::Selection) == draft; }, 2000))
                << pasted << ": " << how << ": " << clipboard->text(QClipboard::Selection).toStdString();
            EXPECT_EQ(primaryAsAnotherProgramReadsIt(), draft) << pasted << ": " << how;
        }
        EXPECT_TRUE(model.copySelection(false) || !rightToLeft);
        if (rightToLeft) {
            EXPECT_EQ(clipboard->text(), draft) << pasted;
        }
        // A selection of part of the draft: its own true text.
        QMetaObject::invokeMethod(w.edit(), "select", Q_ARG(int, 0), Q_ARG(int, 0));
        key(Qt::Key_Home);
        for (int i = 0; i < 4; ++i)
            key(rightToLeft ? Qt::Key_Left : Qt::Key_Right, Qt::ShiftModifier);
        const QString part = w.edit()->property("selectedText").toString().remove(QChar(0x200E));
        EXPECT_TRUE(waitUntil([&] { return clipboard->text(QClipboard::Selection) == part; }, 2000))
            << pasted << ": " << clipboard->text(QClipboard::Selection).toStdString();
    }
}

// A paste read whole off the GUI thread keeps the order QClipboard's path has: files first, then
// picture data the agent takes, then other pictures (their text when they do not convert), then
// text; from either selection. An owner that does not list its types says so; a cancelled read
// gives nothing.
TEST(X11ClipboardReader, a_paste_read_from_the_owner_takes_files_pictures_and_text_in_that_order)
{
    QTemporaryDir dir;
    const QString png = dir.filePath(S("shot.png"));
    {
        QImage image(8, 4, QImage::Format_RGB32);
        image.fill(Qt::blue);
        ASSERT_TRUE(image.save(png));
    }
    const QByteArray pngBytes = [&] {
        QFile f(png);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();
    using Sel = Reader::Selection;
    const struct {
        const char* what;
        Script script;
        Sel selection;
        QStringList names;  // the attachments' names
        QString editorText;
        QString refusal;
    } cases[] = {
        {"a file list", {.data = QUrl::fromLocalFile(png).toEncoded() + "\r\n", .type = "text/uri-list", .targets = {"text/uri-list", "UTF8_STRING"}}, Sel::Clipboard, {S("shot.png")}, {}, {}},
        {"PNG data", {.data = pngBytes, .type = "image/png", .targets = {"image/png"}}, Sel::Clipboard, {S("pasted.png")}, {}, {}},
        {"PNG data past the cap", {.data = QByteArray(ChatAttachments::imageCapBytes + 10, 'p'), .type = "image/png", .targets = {"image/png"}, .incrAbove = 0, .piece = 4 * MB}, Sel::Clipboard, {}, {}, ChatAttachments::tooLargeMessage()},
        {"a picture that does not convert, with text", {.data = "just text", .targets = {"image/bmp", "UTF8_STRING"}}, Sel::Clipboard, {}, S("just text"), {}},
        {"a picture that does not convert, alone", {.data = "no picture", .targets = {"image/bmp"}}, Sel::Clipboard, {}, {}, ChatAttachments::unreadableImageMessage()},
        {"text from the primary selection", {.data = "\xd9\x85\xd8\xb1\xd8\xad\xd8\xa8\xd8\xa7 and hello", .selection = "PRIMARY"}, Sel::Primary, {}, QString::fromUtf8("\u0645\u0631\u062d\u0628\u0627 and hello"), {}},
        {"an owner that lists nothing", {.data = "x", .hangs = true}, Sel::Clipboard, {}, {}, ChatAttachments::clipboardNoAnswerMessage()},
    };
    for (const auto& c : cases) {
        Owner owner(c.script);
        const auto r = ChatAttachments::fromSelection(XEnvironment::display, c.selection, nullptr, 300);
        QStringList names;
        for (const ChatAttachment& a : r.attachments)
            names << a.name;
        EXPECT_EQ(names, c.names) << c.what;
        EXPECT_EQ(r.editorText, c.editorText) << c.what;
        EXPECT_EQ(r.refusal, c.refusal) << c.what;
        EXPECT_FALSE(r.cancelled) << c.what;
    }
    // Cancelled while the owner holds its answer: nothing, at once.
    Owner held({.data = "late", .held = true});
    Reader::Control control;
    std::thread canceller([&] {
        while (!held.asked())
            std::this_thread::yield();
        control.cancel();
    });
    const auto r = ChatAttachments::fromSelection(XEnvironment::display, Sel::Clipboard, nullptr, 60000, &control);
    canceller.join();
    EXPECT_TRUE(r.cancelled);
    EXPECT_FALSE(r.handled());
    EXPECT_TRUE(r.editorText.isEmpty());
}

namespace {

// A terminal pane on the X display running a real program that asks for bracketed paste and shows
// what it is sent (the terminal's own echo shows the paste's ESC markers as ^[).
struct TerminalWindow {
    struct Delegate : LocalProcessTerminalViewDelegate {
        void sizeChanged(LocalProcessTerminalView&, int, int) override {}
        void setTerminalTitle(LocalProcessTerminalView&, const QString&) override {}
        void hostCurrentDirectoryUpdate(TerminalView&, const std::optional<QString>&) override {}
        void processTerminated(TerminalView&, std::optional<int32_t>) override {}
    };
    TerminalWindow()
    {
        window = std::make_unique<QQuickWindow>();
        QFont font(S("monospace"));
        font.setPixelSize(12);
        view = new LocalProcessTerminalView(window->contentItem(), font);
        view->processDelegate = &delegate;
        view->setSize(QSizeF(600, 300));
        window->resize(600, 300);
        window->show();
        view->forceActiveFocus();
        view->startProcess(S("/bin/sh"), {S("-c"), S("printf '\\033[?2004hready\\n'; exec cat -v")},
                           QStringList{S("TERM=xterm-256color"), S("LANG=C.UTF-8"), S("PATH=/usr/bin:/bin")});
    }
    ~TerminalWindow()
    {
        if (view && view->running())
            view->process->terminate();
    }
    QString screen() const
    {
        QString out;
        auto& t = view->getTerminal();
        for (int r = 0; r < t.rows(); ++r)
            out += QString::fromStdString(t.getLine(r)->translateToString(true, 0, -1)).replace(QChar(0), ' ') + '\n';
        return out;
    }
    bool shows(const QString& text) const
    {
        return waitUntil([&] { return screen().contains(text); });
    }
    void ctrlShiftV() { QTest::keyClick(window.get(), Qt::Key_V, Qt::ControlModifier | Qt::ShiftModifier); }
    void middleClick() { QTest::mouseClick(window.get(), Qt::MiddleButton, {}, QPoint(100, 100)); }
    Delegate delegate;
    std::unique_ptr<QQuickWindow> window;
    QPointer<LocalProcessTerminalView> view;
};

// How long a call holds the GUI thread.
template <typename F>
qint64 heldFor(F&& f)
{
    QElapsedTimer t;
    t.start();
    f();
    return t.elapsed();
}

} // namespace

// Ctrl+Shift+V and a middle click in a terminal pane while another program holds the selection and
// never answers: each returns at once (QClipboard asked on the GUI thread and waited 5 s), a timer
// of the GUI thread keeps ticking while the read waits, a new paste replaces the one in progress,
// the view says when the owner did not answer, and closing the pane mid-read does not wait for the
// owner. Nothing runs on Qt's shared pool.
TEST(TerminalPaste, an_owner_that_never_answers_holds_neither_ctrl_shift_v_nor_a_middle_click)
{
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(10);
    Owner clipboard({.data = "x", .hangs = true});
    Owner primary({.data = "x", .hangs = true, .selection = "PRIMARY"});
    ASSERT_TRUE(appLost(QClipboard::Clipboard));
    ASSERT_TRUE(appLost(QClipboard::Selection));
    const std::vector<std::pair<const char*, std::function<void(TerminalWindow&)>>> pastes{
        {"Ctrl+Shift+V", [](TerminalWindow& w) { w.ctrlShiftV(); }}, {"middle click", [](TerminalWindow& w) { w.middleClick(); }}};
    for (const auto& [what, paste] : pastes) {
        auto w = std::make_unique<TerminalWindow>();
        ASSERT_TRUE(w->shows(S("ready"))) << what;
        EXPECT_FALSE(w->view->pasteReading()) << what;
        EXPECT_LT(heldFor([&] { paste(*w); }), 1000) << what;
        EXPECT_TRUE(w->view->pasteReading()) << what;
        const int before = ticks;
        EXPECT_TRUE(waitUntil([&] { return ticks >= before + 10; })) << what;
        EXPECT_TRUE(w->view->pasteReading()) << what;
        EXPECT_EQ(QThreadPool::globalInstance()->activeThreadCount(), 0) << what;
        // Pressed again: the new paste replaces the one in progress.
        EXPECT_LT(heldFor([&] { paste(*w); }), 1000) << what;
        EXPECT_TRUE(w->view->pasteReading()) << what;
        if (std::string_view(what) == "middle click") {
            // The read ends when its owner's time is out, and the view says why nothing came; the
            // next paste takes the notice away as it starts.
            ASSERT_TRUE(waitUntil([&] { return !w->view->pasteReading(); }, 15000));
            EXPECT_EQ(w->view->pasteNotice(), S("Nothing was pasted: the program holding the selection did not answer."));
            paste(*w);
            EXPECT_TRUE(w->view->pasteNotice().isEmpty());
            EXPECT_TRUE(w->view->pasteReading());
        }
        // The pane closed mid-read: the read ends at once, its thread with it.
        EXPECT_LT(heldFor([&] { w.reset(); }), 2000) << what;
        EXPECT_EQ(QThreadPool::globalInstance()->activeThreadCount(), 0) << what;
    }
}

// What an owner that answers sends reaches the program as before, bracketed as it asked, from the
// clipboard and from the primary selection, right-to-left text as it came; the app's own clipboard
// is read as before; a text past the bound is refused with a notice and nothing goes in.
TEST(TerminalPaste, an_owners_text_reaches_the_program_bracketed_and_a_text_past_the_bound_is_refused)
{
    TerminalWindow w;
    ASSERT_TRUE(w.shows(S("ready")));
    {
        Owner owner({.data = "echo \xd7\xa9\xd7\x9c\xd7\x95\xd7\x9d hi"});
        ASSERT_TRUE(appLost(QClipboard::Clipboard));
        w.ctrlShiftV();
        EXPECT_TRUE(w.shows(QString::fromUtf8("^[[200~echo \u05e9\u05dc\u05d5\u05dd hi^[[201~"))) << w.screen().toStdString();
    }
    {
        // Through INCR, in pieces.
        Owner owner({.data = "from-primary", .incrAbove = 0, .piece = 4, .selection = "PRIMARY"});
        ASSERT_TRUE(appLost(QClipboard::Selection));
        w.middleClick();
        EXPECT_TRUE(w.shows(S("^[[200~from-primary^[[201~"))) << w.screen().toStdString();
    }
    QGuiApplication::clipboard()->setText(S("own-copy"));
    w.ctrlShiftV();
    EXPECT_TRUE(w.shows(S("^[[200~own-copy^[[201~"))) << w.screen().toStdString();
    EXPECT_FALSE(w.view->pasteReading());
    {
        Owner owner({.data = "too-long", .incrAbove = 0, .announce = TerminalView::pasteLimitBytes + 1});
        ASSERT_TRUE(appLost(QClipboard::Clipboard));
        w.ctrlShiftV();
        ASSERT_TRUE(waitUntil([&] { return !w.view->pasteReading(); }));
    }
    EXPECT_EQ(w.view->pasteNotice(), S("Nothing was pasted: the text (over 32.0 MB) is longer than a terminal paste takes (32 MB)."));
    EXPECT_FALSE(w.screen().contains(S("too-long")));
}

// Ctrl+V and a middle click in Qt's own text fields (a TextInput as the rename and sheet fields
// are, a TextEdit as a question's answer is) while another program holds what they paste: an
// owner that never answers holds neither (Qt's own paste asked it on the GUI thread, 5 s for each
// question), and an owner's text goes in where the cursor stands, over the selection, right-to-left
// text as it came; the app's own clipboard still pastes through Qt; a field that reads its pastes
// itself is left alone.
TEST(QtTextFields, a_paste_into_a_field_waits_on_no_owner_and_puts_its_text_where_the_cursor_stands)
{
    FieldPaste fieldPaste;
    qApp->installEventFilter(&fieldPaste);
    QQmlEngine engine;
    QQmlComponent component(&engine);
    component.setData(R"(
        import QtQuick
        Window {
            width: 400; height: 200; visible: true
            property alias input: input
            property alias edit: edit
            property alias own: own
            TextInput { id: input; width: 380; height: 30; selectByMouse: true }
            TextEdit { id: edit; y: 40; width: 380; height: 60 }
            TextEdit { id: own; y: 110; width: 380; height: 60; property bool readsPastesItself: true }
        })", {});
    std::unique_ptr<QObject> root(component.create());
    ASSERT_TRUE(root) << component.errorString().toStdString();
    auto* window = qobject_cast<QQuickWindow*>(root.get());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    const auto field = [&](const char* name) { return root->property(name).value<QQuickItem*>(); };
    const auto paste = [&](QQuickItem* f, bool middle) {
        f->forceActiveFocus();
        if (middle)
            QTest::mouseClick(window, Qt::MiddleButton, {}, f->mapToScene(QPointF(f->width() - 5, 10)).toPoint());
        else
            QTest::keyClick(window, Qt::Key_V, Qt::ControlModifier);
    };
    for (const char* name : {"input", "edit"}) {
        for (const bool middle : {false, true}) {
            const std::string what = std::string(name) + (middle ? ", middle click" : ", Ctrl+V");
            const char* selection = middle ? "PRIMARY" : "CLIPBOARD";
            QQuickItem* f = field(name);
            f->setProperty("text", S("ab"));
            {
                Owner owner({.data = "x", .hangs = true, .selection = selection});
                ASSERT_TRUE(appLost(middle ? QClipboard::Selection : QClipboard::Clipboard)) << what;
                EXPECT_LT(heldFor([&] { paste(f, middle); }), 1000) << what;
                EXPECT_TRUE(fieldPaste.reading()) << what;
            }
            Owner owner({.data = "\xd7\xa9\xd7\x9c\xd7\x95\xd7\x9d hi", .selection = selection});
            ASSERT_TRUE(appLost(middle ? QClipboard::Selection : QClipboard::Clipboard)) << what;
            f->setProperty("cursorPosition", 2);
            QMetaObject::invokeMethod(f, "select", Q_ARG(int, 1), Q_ARG(int, 2));
            if (middle)  // a middle click leaves the selection alone and goes in at the click
                QMetaObject::invokeMethod(f, "deselect");
            paste(f, middle);
            const QString expected = middle ? QString::fromUtf8("ab\u05e9\u05dc\u05d5\u05dd hi") : QString::fromUtf8("a\u05e9\u05dc\u05d5\u05dd hi");
            EXPECT_TRUE(waitUntil([&] { return f->property("text").toString() == expected; }))
                << what << ": " << f->property("text").toString().toStdString();
            EXPECT_FALSE(fieldPaste.reading()) << what;
        }
    }
    // The app's own clipboard: Qt has it at hand, and the field pastes it itself.
    QGuiApplication::clipboard()->setText(S("own-copy"));
    QQuickItem* input = field("input");
    input->setProperty("text", QString());
    paste(input, false);
    EXPECT_EQ(input->property("text").toString(), S("own-copy"));
    EXPECT_FALSE(fieldPaste.reading());
    // A field that reads its pastes itself gets the key as it came.
    Owner owner({.data = "x", .hangs = true});
    ASSERT_TRUE(appLost(QClipboard::Clipboard));
    QQuickItem* own = field("own");
    own->forceActiveFocus();
    bool keyCame = false;
    struct Seen : QObject {
        bool* came;
        explicit Seen(bool* c) : came(c) {}
        bool eventFilter(QObject*, QEvent* e) override
        {
            if (e->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(e)->matches(QKeySequence::Paste))
                *came = true;
            return e->type() == QEvent::KeyPress;  // taken here, as the composer takes it
        }
    } seen(&keyCame);
    own->installEventFilter(&seen);
    QTest::keyClick(window, Qt::Key_V, Qt::ControlModifier);
    EXPECT_TRUE(keyCame);
    EXPECT_FALSE(fieldPaste.reading());
    qApp->removeEventFilter(&fieldPaste);
}

namespace {

// Name fields as the rename and new-workspace sheets have them: a TextField (Return accepts, the
// draft follows each edit as the rename's does) and a bare TextInput, in a window, with the field
// paste installed as the app installs it. `saved` is what the last Return accepted.
struct NameFields {
    NameFields()
    {
        qApp->installEventFilter(&fieldPaste);
        QQmlComponent component(&engine);
        component.setData(R"(
            import QtQuick
            import QtQuick.Controls
            Window {
                width: 400; height: 120; visible: true
                property string saved: ""
                property string draft: ""
                property alias field: field
                property alias input: input
                TextField { id: field; width: 380; height: 34; onTextEdited: draft = text; onAccepted: saved = draft }
                TextInput { id: input; y: 60; width: 380; height: 30; selectByMouse: true; onAccepted: saved = text }
            })", {});
        root.reset(component.create());
        if (!root)
            ADD_FAILURE() << component.errorString().toStdString();
        else
            EXPECT_TRUE(QTest::qWaitForWindowExposed(window()));
    }
    ~NameFields() { qApp->removeEventFilter(&fieldPaste); }
    QQuickWindow* window() const { return qobject_cast<QQuickWindow*>(root.get()); }
    QQuickItem* item(const char* name) const { return root->property(name).value<QQuickItem*>(); }
    QString saved() const { return root->property("saved").toString(); }
    // Opens `name` on `text` with the focus, as a rename opens, the cursor at the end.
    QQuickItem* open(const char* name, const QString& text) const
    {
        root->setProperty("saved", QString());
        QQuickItem* f = item(name);
        f->setProperty("text", text);
        root->setProperty("draft", text);
        f->forceActiveFocus();
        f->setProperty("cursorPosition", text.size());
        return f;
    }
    // The point of the window at the place of the character at `position` of field `f`, moved
    // `inward` pixels into the character that follows it in reading order. (Qt 6.4's rectangle
    // leaves out a TextField's padding.)
    static QPoint at(QQuickItem* f, int position, int inward = 0)
    {
        QRectF r;
        QMetaObject::invokeMethod(f, "positionToRectangle", Q_RETURN_ARG(QRectF, r), Q_ARG(int, position));
        const bool rtl = f->property("text").toString().isRightToLeft();
        const QPointF p = r.center() + QPointF(f->property("leftPadding").toReal() + (rtl ? -inward : inward), 0);
        return f->mapToScene(p).toPoint();
    }
    // A mouse event on the window with `buttons` held after it, as a hand on the mouse sends it.
    void mouse(QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons buttons, QPoint p) const
    {
        QMouseEvent e(type, p, window()->mapToGlobal(p), button, buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(window(), &e);
    }

    FieldPaste fieldPaste;
    QQmlEngine engine;
    std::unique_ptr<QObject> root;
};

QString textOf(const QQuickItem* f)
{
    return f->property("text").toString();
}

// Types `text` into the window a key at a time, as a keyboard would (QTest types only Latin-1
// into a QWindow).
void type(QWindow* window, const QString& text)
{
    for (const QChar ch : text) {
        const Qt::Key code = ch.unicode() < 128 && ch.isLetter() ? Qt::Key(ch.toUpper().unicode()) : Qt::Key(ch.unicode());
        QTest::sendKeyEvent(QTest::Press, window, code, QString(ch), Qt::NoModifier);
        QTest::sendKeyEvent(QTest::Release, window, code, QString(ch), Qt::NoModifier);
    }
}

} // namespace

// A middle click in a name field puts the selection where the button went and replaces nothing,
// in a TextField and a TextInput, with left-to-right and right-to-left names: past the end of a
// name wholly selected (as a rename opens), before the first letter with the cursor at the end,
// and during a left-button drag over part of the name. Before, the click's place was used only in
// a TextEdit, and the paste took the selection's place.
TEST(QtTextFields, a_middle_click_in_a_name_field_puts_the_text_where_the_button_went_and_replaces_nothing)
{
    NameFields w;
    ASSERT_TRUE(w.root);
    const QString hebrew = S("\xd7\xa9\xd7\xa0\xd7\x99");  // a three-letter name, right to left
    for (const char* name : {"field", "input"}) {
        for (const QString& second : {S("Second"), hebrew}) {
            const std::string what = std::string(name) + ", " + second.toStdString();
            {
                Owner owner({.data = "PRIM1", .selection = "PRIMARY"});
                ASSERT_TRUE(appLost(QClipboard::Selection)) << what;
                QQuickItem* f = w.open(name, second);
                QMetaObject::invokeMethod(f, "selectAll");
                // Just past the name's end: right of it left to right, left of it right to left.
                QTest::mouseClick(w.window(), Qt::MiddleButton, {}, NameFields::at(f, int(second.size()), 4));
                EXPECT_TRUE(waitUntil([&] { return textOf(f) == second + S("PRIM1"); })) << what << ": " << textOf(f).toStdString();
                EXPECT_FALSE(w.fieldPaste.reading()) << what;
            }
            {
                Owner owner({.data = "PRIM2", .selection = "PRIMARY"});
                ASSERT_TRUE(appLost(QClipboard::Selection)) << what;
                QQuickItem* f = w.open(name, second);
                // On the first letter's first half (right-hand half right to left).
                QTest::mouseClick(w.window(), Qt::MiddleButton, {}, NameFields::at(f, 0, 2));
                EXPECT_TRUE(waitUntil([&] { return textOf(f) == S("PRIM2") + second; })) << what << ": " << textOf(f).toStdString();
            }
        }
        // During a left-button drag over "abcde" of "abcdefgh", at the drag's point.
        Owner owner({.data = "PRIM5", .selection = "PRIMARY"});
        ASSERT_TRUE(appLost(QClipboard::Selection)) << name;
        QQuickItem* f = w.open(name, S("abcdefgh"));
        const QPoint from = NameFields::at(f, 0, 1), to = NameFields::at(f, 5, -1);
        const Qt::MouseButtons both = Qt::LeftButton | Qt::MiddleButton;
        w.mouse(QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, from);
        for (int step = 1; step <= 4; ++step)
            w.mouse(QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, from + (to - from) * step / 4);
        EXPECT_EQ(f->property("selectedText").toString(), S("abcde")) << name;
        w.mouse(QEvent::MouseButtonPress, Qt::MiddleButton, both, to);
        w.mouse(QEvent::MouseButtonRelease, Qt::MiddleButton, Qt::LeftButton, to);
        w.mouse(QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, to);
        EXPECT_TRUE(waitUntil([&] { return textOf(f) == S("abcdePRIM5fgh"); })) << name << ": " << textOf(f).toStdString();
    }
}

// Keys typed into a name field at once after Ctrl+V go in after the paste, in the order typed,
// against an owner that answers in 0.4 s as a browser does and against one that answers at once:
// Return saves the name with the paste; letters, left to right or right to left, follow it; a
// paste over the whole name replaces it. Before, the keys went in before the text came, and a
// Return saved the name without it.
TEST(QtTextFields, keys_typed_after_ctrl_v_in_a_name_field_take_effect_after_the_paste)
{
    NameFields w;
    ASSERT_TRUE(w.root);
    const QString hebrew = S("\xd7\xa9\xd7\x9c\xd7\x95\xd7\x9d");
    struct Case {
        const char* name;
        bool wholeSelected;
        QString typed;  // then Return
        QString expected;
    };
    const std::vector<Case> cases{
        {"Return at once", false, {}, S("BarsSLOWPASTE")},
        {"letters, then Return", false, S("xyz"), S("BarsSLOWPASTExyz")},
        {"right-to-left letters, then Return", false, hebrew, S("BarsSLOWPASTE") + hebrew},
        {"over the whole name", true, S("!"), S("SLOWPASTE!")},
    };
    for (const char* field : {"field", "input"}) {
        for (const bool slow : {true, false}) {
            for (const Case& c : cases) {
                const std::string what = std::string(field) + (slow ? ", slow owner, " : ", quick owner, ") + c.name;
                Owner owner({.data = "SLOWPASTE", .held = slow});
                ASSERT_TRUE(appLost(QClipboard::Clipboard)) << what;
                QQuickItem* f = w.open(field, S("Bars"));
                if (c.wholeSelected)
                    QMetaObject::invokeMethod(f, "selectAll");
                if (slow)
                    QTimer::singleShot(400, [&owner] { owner.release(); });
                QTest::keyClick(w.window(), Qt::Key_V, Qt::ControlModifier);
                if (!c.typed.isEmpty())
                    type(w.window(), c.typed);
                QTest::keyClick(w.window(), Qt::Key_Return);
                EXPECT_TRUE(waitUntil([&] { return !w.saved().isEmpty(); })) << what;
                EXPECT_EQ(w.saved(), c.expected) << what;
                EXPECT_EQ(textOf(f), c.expected) << what;
                EXPECT_FALSE(w.fieldPaste.reading()) << what;
            }
        }
    }
}

// An owner that never answers: the keys typed after Ctrl+V are held only until the read gives
// up, then go in, in order, without the paste; nothing is lost and nothing waits for good.
TEST(QtTextFields, keys_held_behind_a_paste_whose_owner_never_answers_go_in_when_it_gives_up)
{
    NameFields w;
    ASSERT_TRUE(w.root);
    Owner owner({.data = "never", .hangs = true});
    ASSERT_TRUE(appLost(QClipboard::Clipboard));
    QQuickItem* f = w.open("input", S("Bars"));
    QTest::keyClick(w.window(), Qt::Key_V, Qt::ControlModifier);
    type(w.window(), S("xyz"));
    EXPECT_EQ(textOf(f), S("Bars"));
    EXPECT_TRUE(w.fieldPaste.reading());
    QTest::keyClick(w.window(), Qt::Key_Return);
    ASSERT_TRUE(waitUntil([&] { return !w.fieldPaste.reading(); }, 3 * FieldPaste::holdLimitMs));
    EXPECT_TRUE(waitUntil([&] { return w.saved() == S("Barsxyz"); })) << w.saved().toStdString();
    EXPECT_EQ(textOf(f), S("Barsxyz"));
}


// Pastes in a terminal pane, a composer and a name field under a task limit reached, then once
// tasks are free again, and says on stderr what each did. Returns the exit status of the child
// that runs it: 0 when it could run.
int pasteUnderTaskLimit()
{
    keepRenderThreadsReady();
    TerminalWindow terminal;
    Composer composer;
    NameFields fields;
    if (!terminal.shows(S("ready")) || !fields.root)
        return (3);
    Owner owner({.data = "after-limit"});
    if (!appLost(QClipboard::Clipboard) || !test::limitTasks(false))
        return (3);
    QQuickItem* field = fields.open("input", S("Bars"));
    for (int i = 0; i < 2; ++i) {
        terminal.ctrlShiftV();
        composer.chips->pasteClipboard(composer.edit.get());
        fields.window()->requestActivate();
        field->forceActiveFocus();
        QTest::keyClick(fields.window(), Qt::Key_V, Qt::ControlModifier);
    }
    waitUntil([&] { return !composer.chips->reading(); }, 5000);
    std::fprintf(stderr, "terminal [%s] %d; composer [%s] %d; field %d\n", qPrintable(terminal.view->pasteNotice()),
                 int(terminal.view->pasteReading()), qPrintable(composer.chips->notice()),
                 int(composer.chips->reading()), int(fields.fieldPaste.reading()));
    if (!test::limitTasks(true))
        return (4);
    terminal.window->requestActivate();
    terminal.view->forceActiveFocus();
    terminal.ctrlShiftV();
    composer.chips->pasteClipboard(composer.edit.get());
    fields.window()->requestActivate();
    field->forceActiveFocus();
    QTest::keyClick(fields.window(), Qt::Key_V, Qt::ControlModifier);
    const bool pasted = terminal.shows(S("^[[200~after-limit^[[201~"))
                     && waitUntil([&] { return composer.text() == S("after-limit"); })
                     && waitUntil([&] { return textOf(field) == S("Barsafter-limit"); });
    std::fprintf(stderr, "then pasted %d: [%s] [%s]\n", int(pasted), qPrintable(composer.text()), qPrintable(textOf(field)));
    return (0);
}

// The task limit reached: a paste in a terminal pane, in the composer and in a name field, twice
// each, gets no thread for its read; the pane's strip and the composer's line say so at once, the
// field's in the log, and nothing is left reading. Once tasks are free, the next paste of each
// comes. Before, each read waited on its owner's pool for a thread that was never made, and the
// pool, counting it busy, kept the pastes after it waiting too.
TEST(TaskLimit, a_paste_refused_a_thread_says_so_and_the_next_comes_once_tasks_are_free)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ::alarm(60);
            const int status = pasteUnderTaskLimit();
            // The X server this child started goes with it: it would hold the test's pipe open.
            xEnvironment->TearDown();
            std::exit(status);
        },
        ::testing::ExitedWithCode(0),
        "Nothing was pasted into the field: no thread could be started\\.\n(.|\n)*"
        "terminal \\[Nothing was pasted: no thread could be started\\.\\] 0; "
        "composer \\[Nothing was pasted: no thread could be started\\.\\] 0; field 0\n"
        "(.|\n)*then pasted 1");
}

namespace {

// A name field as the rename sheets have it: a TextField whose text a MarkedEdit keeps, each edit
// given to it and the field set back to what it shows. `saved` is the name a Return saves.
struct MarkedNameField {
    MarkedNameField()
    {
        engine.addImportPath(S("qrc:/"));
        QQmlComponent component(&engine);
        component.setData(R"(
            import QtQuick
            import QtQuick.Controls
            import Brinmoor.App
            Window {
                width: 500; height: 80; visible: true
                property string saved: ""
                property alias field: field
                property alias edit: nameEdit
                TextField {
                    id: field
                    width: 480; height: 34
                    onTextEdited: {
                        nameEdit.edit(field.text, field.cursorPosition);
                        if (field.text !== nameEdit.shown)
                            field.text = nameEdit.shown;
                        field.cursorPosition = nameEdit.cursor;
                    }
                    onAccepted: saved = nameEdit.value
                }
                MarkedEdit { id: nameEdit; field: field }
            })", {});
        root.reset(component.create());
        if (!root)
            ADD_FAILURE() << component.errorString().toStdString();
        else
            EXPECT_TRUE(QTest::qWaitForWindowExposed(window()));
    }
    QQuickWindow* window() const { return qobject_cast<QQuickWindow*>(root.get()); }
    QQuickItem* field() const { return root->property("field").value<QQuickItem*>(); }
    MarkedEdit* edit() const { return root->property("edit").value<MarkedEdit*>(); }
    QString text() const { return field()->property("text").toString(); }
    int cursor() const { return field()->property("cursorPosition").toInt(); }
    // Opens the field on `name`, the cursor at its end, as a rename opens.
    void open(const QString& name) const
    {
        edit()->setOriginal(name);
        field()->setProperty("text", edit()->shown());
        field()->forceActiveFocus();
        field()->setProperty("cursorPosition", int(edit()->shown().size()));
    }
    void key(Qt::Key k, Qt::KeyboardModifiers mods = {}) const { QTest::keyClick(window(), k, mods); }

    QQmlEngine engine;
    std::unique_ptr<QObject> root;
};

// The places just inside the isolates of a field's marks.
std::vector<int> isolateInsides(const MarkedEdit& e)
{
    std::vector<int> inside;
    for (const MarkedEdit::Mark& m : e.marks())
        if (e.shown().at(m.start) == QChar(0x2066))
            inside.insert(inside.end(), {int(m.start) + 1, int(m.end) - 1});
    return inside;
}

const char* const markedNames[] = {"\u05D0\u05D1\u200B\u05D2\u05D3", "\u0627\u0628\u200B\u062C\u062F", "ab\u200Bcd"};

} // namespace

// A selection in a name field (a rename, the new workspace's name) made with the keyboard (Home and
// Shift+End, Ctrl+A, Shift and the arrows) or the mouse puts the name's true text in the X primary
// selection, as another program reads it: the hidden character itself, never its mark's written
// form nor the isolate that holds it in right-to-left text; Ctrl+C and Ctrl+X give the same, and a
// part of the name its own true text. Before, the field wrote what it showed, and a middle click put
// U+2066, U+2069 and "<U+200B>" into a shell. Hebrew and Arabic beside Latin.
TEST(MarkedNameField, a_selection_copy_and_cut_carry_the_names_true_text)
{
    MarkedNameField w;
    ASSERT_TRUE(w.root);
    QClipboard* clipboard = QGuiApplication::clipboard();
    ASSERT_TRUE(clipboard->supportsSelection());
    for (const char* named : markedNames) {
        const QString name = S(named);
        const bool rightToLeft = name.isRightToLeft();
        w.open(name);
        ASSERT_EQ(w.text().contains(QChar(0x2066)), rightToLeft) << named;
        const std::vector<std::pair<const char*, std::function<void()>>> selections{
            {"Home, Shift+End", [&] { w.key(Qt::Key_Home); w.key(Qt::Key_End, Qt::ShiftModifier); }},
            {"Ctrl+A", [&] { w.key(Qt::Key_End); w.key(Qt::Key_A, Qt::ControlModifier); }},
            {"Shift and the arrows", [&] {
                 w.key(Qt::Key_Home);
                 for (int i = 0; i < w.text().size(); ++i)
                     w.key(rightToLeft ? Qt::Key_Left : Qt::Key_Right, Qt::ShiftModifier);
             }},
            {"a drag of the mouse", [&] {
                 w.key(Qt::Key_End);
                 const QPoint from = NameFields::at(w.field(), 0, -2), to = NameFields::at(w.field(), int(w.text().size()), 4);
                 QTest::mousePress(w.window(), Qt::LeftButton, {}, from);
                 for (int step = 1; step <= 8; ++step)
                     QTest::mouseMove(w.window(), from + (to - from) * step / 8);
                 QTest::mouseRelease(w.window(), Qt::LeftButton, {}, to);
             }},
        };
        for (const auto& [how, select] : selections) {
            clipboard->setText(S("before"), QClipboard::Selection);
            select();
            EXPECT_EQ(w.field()->property("selectedText").toString(), w.text()) << named << ": " << how;
            EXPECT_TRUE(waitUntil([&] { return clipboard->text(QClipboard::Selection) == name; }, 2000))
                << named << ": " << how << ": " << clipboard->text(QClipboard::Selection).toStdString();
            EXPECT_EQ(primaryAsAnotherProgramReadsIt(), name) << named << ": " << how;
        }
        // Ctrl+C and Ctrl+Insert of the whole name; Ctrl+X cuts it and carries the same.
        for (const auto& [how, k, mods] : {std::tuple{"Ctrl+C", Qt::Key_C, Qt::KeyboardModifiers(Qt::ControlModifier)},
                                           std::tuple{"Ctrl+Insert", Qt::Key_Insert, Qt::KeyboardModifiers(Qt::ControlModifier)},
                                           std::tuple{"Ctrl+X", Qt::Key_X, Qt::KeyboardModifiers(Qt::ControlModifier)}}) {
            clipboard->setText(S("before"));
            w.key(Qt::Key_A, Qt::ControlModifier);
            w.key(k, mods);
            EXPECT_TRUE(waitUntil([&] { return clipboard->text() == name; }, 2000))
                << named << ": " << how << ": " << clipboard->text().toStdString();
        }
        EXPECT_EQ(w.text(), QString()) << named << ": cut";
        // Part of the name: the first two letters and the mark, then the mark alone (right to
        // left, its written form and isolate).
        w.open(name);
        const MarkedEdit::Mark mark = w.edit()->marks().at(0);
        for (const auto& [from, to, want] : {std::tuple{0, int(mark.end), name.first(3)}, std::tuple{int(mark.start), int(mark.end), name.sliced(2, 1)},
                                             std::tuple{int(mark.start) + 2, int(mark.end) - 2, name.sliced(2, 1)},
                                             std::tuple{int(mark.end), int(w.text().size()), name.sliced(3)}}) {
            QMetaObject::invokeMethod(w.field(), "select", Q_ARG(int, from), Q_ARG(int, to));
            w.key(Qt::Key_C, Qt::ControlModifier);
            EXPECT_TRUE(waitUntil([&] { return clipboard->text() == want; }, 2000))
                << named << ": " << from << "-" << to << ": " << clipboard->text().toStdString();
        }
    }
}

// The caret of a name field never stops just inside a mark's isolate, by the keyboard in either
// direction (with Shift too) nor by a click, and a key typed at each place it stops keeps the mark
// and goes in where the caret stood; the name saved has the hidden character itself. Before, the
// isolate's inner ends were stops that did not move on screen, and a key typed at one went in on
// the far side of the mark. Hebrew and Arabic beside Latin.
TEST(MarkedNameField, the_caret_never_stops_inside_a_marks_isolate_and_a_key_there_keeps_the_mark)
{
    MarkedNameField w;
    ASSERT_TRUE(w.root);
    for (const char* named : markedNames) {
        const QString name = S(named);
        w.open(name);
        const std::vector<int> inside = isolateInsides(*w.edit());
        ASSERT_EQ(inside.size(), name.isRightToLeft() ? 2u : 0u) << named;
        const auto insideAt = [&](int p) { return std::find(inside.begin(), inside.end(), p) != inside.end(); };
        // Every stop of the arrows both ways, the caret alone and a selection's moving end.
        std::vector<int> stops;
        for (const Qt::KeyboardModifiers mods : {Qt::KeyboardModifiers(), Qt::KeyboardModifiers(Qt::ShiftModifier)}) {
            for (const Qt::Key arrow : {Qt::Key_Left, Qt::Key_Right}) {
                w.key(Qt::Key_End);
                w.key(arrow == Qt::Key_Left ? Qt::Key_End : Qt::Key_Home);
                w.key(arrow == Qt::Key_Left ? Qt::Key_Home : Qt::Key_End);
                for (int i = 0; i <= w.text().size(); ++i) {
                    w.key(arrow, mods);
                    EXPECT_FALSE(insideAt(w.cursor())) << named << ": stopped at " << w.cursor() << " inside an isolate";
                    if (!mods)
                        stops.push_back(w.cursor());
                }
            }
        }
        // A click on each place, the isolate's inside included.
        for (int p = 0; p <= w.text().size(); ++p) {
            w.key(Qt::Key_End);
            QTest::mouseClick(w.window(), Qt::LeftButton, {}, NameFields::at(w.field(), p));
            EXPECT_FALSE(insideAt(w.cursor())) << named << ": a click at " << p << " left the caret at " << w.cursor();
            stops.push_back(w.cursor());
        }
        std::sort(stops.begin(), stops.end());
        stops.erase(std::unique(stops.begin(), stops.end()), stops.end());
        // Z typed at each stop: the mark stays, one, and Z goes in where the caret stood.
        for (const int stop : stops) {
            w.open(name);
            w.field()->setProperty("cursorPosition", stop);
            if (w.cursor() != stop)
                continue;  // a place the field itself does not keep
            const QString before = w.edit()->valueOf(0, stop);
            QTest::keyClick(w.window(), Qt::Key_Z);
            EXPECT_EQ(w.edit()->marks().size(), 1) << named << ": Z at " << stop;
            EXPECT_EQ(w.edit()->value().count(QChar(0x200B)), 1) << named << ": Z at " << stop;
            EXPECT_TRUE(w.edit()->value().startsWith(before)) << named << ": Z at " << stop << ": " << w.edit()->value().toStdString();
            EXPECT_EQ(w.text().count(QChar(0x2066)), name.isRightToLeft() ? 1 : 0) << named << ": Z at " << stop;
        }
        w.open(name);
        w.key(Qt::Key_Home);
        QTest::keyClick(w.window(), Qt::Key_Z);
        w.key(Qt::Key_Return);
        EXPECT_EQ(w.root->property("saved").toString(), S("z") + name) << named;
    }
}
