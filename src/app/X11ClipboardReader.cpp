#include "X11ClipboardReader.h"

#include <QClipboard>
#include <QGuiApplication>

#if defined(BRINMOOR_HAVE_XCB)
#include <xcb/xcb.h>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <vector>
#endif

namespace brinmoor::X11ClipboardReader {

#if defined(BRINMOOR_HAVE_XCB)
Control::Control() : m_fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

Control::~Control()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void Control::cancel()
{
    m_cancelled.store(true);
    if (m_fd >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(m_fd, &one, sizeof one);
    }
}
#else
Control::Control() = default;
Control::~Control() = default;
void Control::cancel()
{
    m_cancelled.store(true);
}
#endif

QString Result::text() const
{
    QByteArrayView view(bytes);
    if (view.endsWith('\0'))
        view.chop(1);
    return latin1 ? QString::fromLatin1(view) : QString::fromUtf8(view);
}

#if defined(BRINMOOR_HAVE_XCB)

namespace {

using Clock = std::chrono::steady_clock;

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeDeleter>;

} // namespace

// One read: its own connection and an unmapped window that receives the selection.
class Transfer {
public:
    Transfer(const QByteArray& display, Selection selection, int timeoutMs, int limitMs, Control* control)
        : m_control(control), m_timeout(timeoutMs), m_end(Clock::now() + std::chrono::milliseconds(limitMs))
    {
        int screenNumber = 0;
        m_c = xcb_connect(display.isEmpty() ? nullptr : display.constData(), &screenNumber);
        if (xcb_connection_has_error(m_c))
            return;
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(m_c));
        for (int i = 0; i < screenNumber && it.rem; ++i)
            xcb_screen_next(&it);
        if (!it.rem)
            return;
        m_window = xcb_generate_id(m_c);
        // PropertyChange from the start: an INCR transfer's pieces are announced by it, and the
        // first may come as soon as the INCR property is deleted.
        const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_create_window(m_c, XCB_COPY_FROM_PARENT, m_window, it.data->root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, it.data->root_visual, XCB_CW_EVENT_MASK, &events);
        const char* names[] = {selection == Selection::Primary ? "PRIMARY" : "CLIPBOARD", "TARGETS", "INCR", "UTF8_STRING", "text/plain;charset=utf-8",
                               "BRINMOOR_CLIPBOARD_TEXT"};
        xcb_intern_atom_cookie_t cookies[std::size(names)];
        for (size_t i = 0; i < std::size(names); ++i)
            cookies[i] = xcb_intern_atom(m_c, 0, uint16_t(std::strlen(names[i])), names[i]);
        xcb_atom_t* atoms[] = {&m_clipboard, &m_targets, &m_incr, &m_utf8, &m_plainUtf8, &m_property};
        for (size_t i = 0; i < std::size(names); ++i) {
            Reply<xcb_intern_atom_reply_t> r(xcb_intern_atom_reply(m_c, cookies[i], nullptr));
            if (!r)
                return;
            *atoms[i] = r->atom;
        }
        m_ready = true;
    }
    ~Transfer() { xcb_disconnect(m_c); }  // the window goes with the connection

    // Whether anybody holds the selection (Empty, Unreachable or Text).
    Outcome owned()
    {
        if (!m_ready)
            return Outcome::Unreachable;
        Reply<xcb_get_selection_owner_reply_t> owner(
            xcb_get_selection_owner_reply(m_c, xcb_get_selection_owner(m_c, m_clipboard), nullptr));
        return !owner || owner->owner == XCB_NONE ? Outcome::Empty : Outcome::Text;
    }

    Outcome types(QList<QByteArray>* names)
    {
        if (const Outcome o = owned(); o != Outcome::Text)
            return o;
        switch (askTargets()) {
        case Ask::Silent:
            return Outcome::NoAnswer;
        case Ask::Refused:
            return Outcome::Text;
        case Ask::Answered:
            break;
        }
        // The names in one round of requests, then their answers.
        std::vector<xcb_get_atom_name_cookie_t> cookies;
        for (xcb_atom_t a : *m_offered)
            cookies.push_back(xcb_get_atom_name(m_c, a));
        for (const auto& cookie : cookies) {
            Reply<xcb_get_atom_name_reply_t> name(xcb_get_atom_name_reply(m_c, cookie, nullptr));
            if (name)
                *names << QByteArray(xcb_get_atom_name_name(name.get()), xcb_get_atom_name_name_length(name.get()));
        }
        return Outcome::Text;
    }

    Result data(const QByteArray& type, qint64 maxBytes)
    {
        Result r;
        if ((r.outcome = owned()) != Outcome::Text)
            return r;
        Reply<xcb_intern_atom_reply_t> atom(xcb_intern_atom_reply(
            m_c, xcb_intern_atom(m_c, 0, uint16_t(type.size()), type.constData()), nullptr));
        if (!atom) {
            r.outcome = Outcome::Unreachable;
            return r;
        }
        switch (convert(atom->atom)) {
        case Ask::Silent:
            r.outcome = Outcome::NoAnswer;
            return r;
        case Ask::Refused:
            r.outcome = Outcome::NotText;
            return r;
        case Ask::Answered:
            break;
        }
        r.outcome = readValue(atom->atom, maxBytes, &r);
        if (r.outcome != Outcome::Text)
            r.bytes.clear();
        return r;
    }

    Result run(qint64 maxBytes)
    {
        Result r;
        if ((r.outcome = owned()) != Outcome::Text)
            return r;
        bool answered = false;
        for (xcb_atom_t target : targets()) {
            const Ask ask = convert(target);
            if (ask == Ask::Silent) {
                r.outcome = Outcome::NoAnswer;
                return r;
            }
            if (ask == Ask::Refused)
                continue;
            answered = true;
            r.latin1 = target == XCB_ATOM_STRING;
            r.outcome = readValue(target, maxBytes, &r);
            if (r.outcome != Outcome::Text)
                r.bytes.clear();
            else if (r.bytes.isEmpty())
                r.outcome = Outcome::Empty;
            return r;
        }
        r.outcome = answered ? Outcome::Empty : Outcome::NotText;
        return r;
    }

private:
    enum class Ask { Answered, Refused, Silent };

    // Asks the owner for its TARGETS once: Answered with m_offered set (empty when the list is
    // none we can read).
    Ask askTargets()
    {
        if (m_offered)
            return Ask::Answered;
        const Ask ask = convert(m_targets);
        if (ask != Ask::Answered)
            return ask;
        m_offered.emplace();
        Reply<xcb_get_property_reply_t> list(xcb_get_property_reply(
            m_c, xcb_get_property(m_c, 1, m_window, m_property, XCB_GET_PROPERTY_TYPE_ANY, 0, 4096), nullptr));
        if (!list || list->format != 32 || list->type == m_incr)
            return Ask::Answered;
        const auto* offered = static_cast<const xcb_atom_t*>(xcb_get_property_value(list.get()));
        m_offered->assign(offered, offered + xcb_get_property_value_length(list.get()) / 4);
        return Ask::Answered;
    }

    // The text types to ask for, best first: those the owner lists among its TARGETS, or all of
    // them when it lists none readable.
    std::vector<xcb_atom_t> targets()
    {
        const std::vector<xcb_atom_t> ours{m_utf8, m_plainUtf8, XCB_ATOM_STRING};
        if (askTargets() != Ask::Answered)
            return ours;
        std::vector<xcb_atom_t> chosen;
        for (xcb_atom_t t : ours)
            if (std::find(m_offered->begin(), m_offered->end(), t) != m_offered->end())
                chosen.push_back(t);
        return chosen.empty() ? ours : chosen;
    }

    Clock::time_point pieceDeadline() const
    {
        return std::min(Clock::now() + std::chrono::milliseconds(m_timeout), m_end);
    }

    // The next event `wanted` accepts, or none at `deadline`, when the connection fails or when
    // the read is cancelled; other events are dropped (the INCR property's own NewValue, our
    // deletions).
    Reply<xcb_generic_event_t> waitFor(Clock::time_point deadline, const std::function<bool(const xcb_generic_event_t*)>& wanted)
    {
        xcb_flush(m_c);
        for (;;) {
            if (m_control && m_control->cancelled())
                return nullptr;
            while (Reply<xcb_generic_event_t> e{xcb_poll_for_event(m_c)})
                if (wanted(e.get()))
                    return e;
            if (xcb_connection_has_error(m_c))
                return nullptr;
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0)
                return nullptr;
            pollfd p[2] = {{xcb_get_file_descriptor(m_c), POLLIN, 0}, {m_control ? m_control->wakeFd() : -1, POLLIN, 0}};
            // Without a wake descriptor the flag is looked at every 50 ms.
            const bool wakes = p[1].fd >= 0;
            ::poll(p, 2, int(std::min<long long>(left, m_control && !wakes ? 50 : 1000)));
        }
    }

    // Asks the owner to put the selection as `target` on our property.
    Ask convert(xcb_atom_t target)
    {
        xcb_delete_property(m_c, m_window, m_property);
        xcb_convert_selection(m_c, m_window, m_clipboard, target, m_property, XCB_CURRENT_TIME);
        // Only the answer to this request: the server may give our window the id of a reader
        // that was cancelled before its owner answered, and that answer may come now.
        const auto notify = waitFor(pieceDeadline(), [this, target](const xcb_generic_event_t* e) {
            if ((e->response_type & 0x7f) != XCB_SELECTION_NOTIFY)
                return false;
            const auto* n = reinterpret_cast<const xcb_selection_notify_event_t*>(e);
            return n->requestor == m_window && n->selection == m_clipboard && n->target == target;
        });
        if (!notify)
            return Ask::Silent;
        return reinterpret_cast<const xcb_selection_notify_event_t*>(notify.get())->property == XCB_NONE ? Ask::Refused
                                                                                                          : Ask::Answered;
    }

    // Whether a value of `type` is what was asked for as `target`: text of the kind asked for, or
    // for any other target (picture data, a list of files) whatever type the owner gives it.
    bool isText(xcb_atom_t type, xcb_atom_t target) const
    {
        // STRING is Latin-1 and goes only when asked for; UTF-8 may come as either UTF-8 name.
        if (target == XCB_ATOM_STRING)
            return type == XCB_ATOM_STRING;
        if (target == m_utf8 || target == m_plainUtf8)
            return type == m_utf8 || type == m_plainUtf8;
        return type != m_incr;
    }

    // What our property holds: the text whole, or an INCR transfer's announcement.
    Outcome readValue(xcb_atom_t target, qint64 maxBytes, Result* r)
    {
        Reply<xcb_get_property_reply_t> head(xcb_get_property_reply(
            m_c, xcb_get_property(m_c, 0, m_window, m_property, XCB_GET_PROPERTY_TYPE_ANY, 0, 1), nullptr));
        if (!head)
            return Outcome::NoAnswer;
        if (head->type == XCB_NONE)
            return Outcome::Empty;
        if (head->type == m_incr)
            return readIncremental(head.get(), target, maxBytes, r);
        return readPiece(target, maxBytes, r);
    }

    // Appends the property's value to r->bytes, in requests of pieceBytes, and deletes it. The
    // value must be 8-bit text of the type asked for, and the whole stay within maxBytes.
    Outcome readPiece(xcb_atom_t target, qint64 maxBytes, Result* r, qint64* pieceSize = nullptr)
    {
        Reply<xcb_get_property_reply_t> head(xcb_get_property_reply(
            m_c, xcb_get_property(m_c, 0, m_window, m_property, XCB_GET_PROPERTY_TYPE_ANY, 0, 0), nullptr));
        if (!head)
            return Outcome::NoAnswer;
        if (head->type == XCB_NONE || head->bytes_after == 0) {
            // Gone, or empty (of whatever type: the end of an INCR transfer).
            if (pieceSize)
                *pieceSize = 0;
            return Outcome::Text;
        }
        if (head->format != 8 || !isText(head->type, target))
            return Outcome::NotText;
        const qint64 size = head->bytes_after;
        if (pieceSize)
            *pieceSize = size;
        if (r->size + size > maxBytes) {
            r->sizeWhole = !pieceSize;
            r->size += size;
            return Outcome::TooLarge;
        }
        if (!pieceSize)
            r->bytes.reserve(size);
        qint64 offset = 0;
        for (;;) {
            Reply<xcb_get_property_reply_t> part(xcb_get_property_reply(
                m_c,
                xcb_get_property(m_c, 0, m_window, m_property, XCB_GET_PROPERTY_TYPE_ANY, uint32_t(offset / 4),
                                 uint32_t(pieceBytes / 4)),
                nullptr));
            if (!part)
                return Outcome::NoAnswer;
            // The value changed under us (another type, or gone): that is no text we can trust.
            if (part->format != 8 || part->type != head->type)
                return Outcome::NotText;
            const int length = xcb_get_property_value_length(part.get());
            if (r->size + length > maxBytes) {
                r->size += length + part->bytes_after;
                return Outcome::TooLarge;
            }
            r->bytes.append(static_cast<const char*>(xcb_get_property_value(part.get())), length);
            r->size += length;
            if (m_control)
                m_control->setReceived(r->size);
            offset += length;
            if (part->bytes_after == 0)
                break;
            if (length == 0 || length % 4 != 0)  // a request of whole 32-bit units gives whole units
                return Outcome::NotText;
        }
        xcb_delete_property(m_c, m_window, m_property);
        xcb_flush(m_c);
        return Outcome::Text;
    }

    // The INCR protocol: the property announced at least `head`'s size; deleting it asks for the
    // first piece, each piece is announced by a NewValue of the property and asked to be followed
    // by its deletion, and an empty piece ends the transfer.
    Outcome readIncremental(const xcb_get_property_reply_t* head, xcb_atom_t target, qint64 maxBytes, Result* r)
    {
        if (head->format == 32 && xcb_get_property_value_length(head) >= 4) {
            const qint64 atLeast = *static_cast<const uint32_t*>(xcb_get_property_value(head));
            if (atLeast > maxBytes) {
                // Refused unread: the owner's transfer ends with our window.
                r->size = atLeast;
                r->sizeWhole = true;
                return Outcome::TooLarge;
            }
            r->bytes.reserve(atLeast);
        }
        xcb_delete_property(m_c, m_window, m_property);
        for (;;) {
            const auto next = waitFor(pieceDeadline(), [this](const xcb_generic_event_t* e) {
                if ((e->response_type & 0x7f) != XCB_PROPERTY_NOTIFY)
                    return false;
                const auto* p = reinterpret_cast<const xcb_property_notify_event_t*>(e);
                return p->window == m_window && p->atom == m_property && p->state == XCB_PROPERTY_NEW_VALUE;
            });
            if (!next)
                return Outcome::NoAnswer;
            qint64 piece = 0;
            const Outcome o = readPiece(target, maxBytes, r, &piece);
            if (o != Outcome::Text)
                return o;
            if (piece == 0) {
                xcb_delete_property(m_c, m_window, m_property);
                xcb_flush(m_c);
                return Outcome::Text;
            }
        }
    }

    Control* m_control;
    xcb_connection_t* m_c = nullptr;
    xcb_window_t m_window = XCB_NONE;
    std::optional<std::vector<xcb_atom_t>> m_offered;  // the owner's TARGETS, once asked
    xcb_atom_t m_clipboard = XCB_NONE, m_targets = XCB_NONE, m_incr = XCB_NONE, m_utf8 = XCB_NONE,
               m_plainUtf8 = XCB_NONE, m_property = XCB_NONE;
    bool m_ready = false;
    int m_timeout;
    Clock::time_point m_end;
};

bool available()
{
    return true;
}

Result readText(const QByteArray& display, qint64 maxBytes, int timeoutMs, int limitMs)
{
    Transfer transfer(display, Selection::Clipboard, timeoutMs, limitMs, nullptr);
    return transfer.run(maxBytes);
}

Reader::Reader(const QByteArray& display, Selection selection, int timeoutMs, int limitMs, Control* control)
    : m_transfer(std::make_unique<Transfer>(display, selection, timeoutMs, limitMs, control)), m_control(control)
{
}

Outcome Reader::types(QList<QByteArray>* names)
{
    const Outcome o = m_transfer->types(names);
    return m_control && m_control->cancelled() ? Outcome::Cancelled : o;
}

Result Reader::text(qint64 maxBytes)
{
    return finished(m_transfer->run(maxBytes));
}

Result Reader::data(const QByteArray& type, qint64 maxBytes)
{
    return finished(m_transfer->data(type, maxBytes));
}

#else

class Transfer {};

Reader::Reader(const QByteArray&, Selection, int, int, Control* control) : m_control(control) {}

Outcome Reader::types(QList<QByteArray>*)
{
    return Outcome::Unreachable;
}

Result Reader::text(qint64)
{
    return finished({.outcome = Outcome::Unreachable});
}

Result Reader::data(const QByteArray&, qint64)
{
    return finished({.outcome = Outcome::Unreachable});
}

bool available()
{
    return false;
}

Result readText(const QByteArray&, qint64, int, int)
{
    Result r;
    r.outcome = Outcome::Unreachable;
    return r;
}

#endif

Reader::~Reader() = default;

Result Reader::finished(Result r) const
{
    // A read cut short by a cancel gives nothing, whatever it had come to.
    if (m_control && m_control->cancelled()) {
        r.outcome = Outcome::Cancelled;
        r.bytes.clear();
    }
    return r;
}

bool readsFromOwner(const QClipboard* clipboard, Selection selection)
{
    if (!clipboard || !available() || QGuiApplication::platformName() != QLatin1String("xcb"))
        return false;
    // Qt keeps whether it holds a selection itself: no request goes to the X server.
    return selection == Selection::Primary ? !clipboard->ownsSelection() : !clipboard->ownsClipboard();
}

} // namespace brinmoor::X11ClipboardReader
