#include "X11ClipboardReader.h"

#if defined(BRINMOOR_HAVE_XCB)
#include <xcb/xcb.h>

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iterator>
#include <memory>
#include <vector>
#endif

namespace brinmoor::X11ClipboardReader {

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

// One read: its own connection and an unmapped window that receives the selection.
class Transfer {
public:
    Transfer(const QByteArray& display, int timeoutMs, int limitMs)
        : m_timeout(timeoutMs), m_end(Clock::now() + std::chrono::milliseconds(limitMs))
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
        const char* names[] = {"CLIPBOARD", "TARGETS", "INCR", "UTF8_STRING", "text/plain;charset=utf-8",
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

    Result run(qint64 maxBytes)
    {
        Result r;
        if (!m_ready) {
            r.outcome = Outcome::Unreachable;
            return r;
        }
        Reply<xcb_get_selection_owner_reply_t> owner(
            xcb_get_selection_owner_reply(m_c, xcb_get_selection_owner(m_c, m_clipboard), nullptr));
        if (!owner || owner->owner == XCB_NONE)
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

    // The text types to ask for, best first: those the owner lists among its TARGETS, or all of
    // them when it lists none readable.
    std::vector<xcb_atom_t> targets()
    {
        const std::vector<xcb_atom_t> ours{m_utf8, m_plainUtf8, XCB_ATOM_STRING};
        if (convert(m_targets) != Ask::Answered)
            return ours;
        Reply<xcb_get_property_reply_t> list(xcb_get_property_reply(
            m_c, xcb_get_property(m_c, 1, m_window, m_property, XCB_GET_PROPERTY_TYPE_ANY, 0, 4096), nullptr));
        if (!list || list->format != 32 || list->type == m_incr)
            return ours;
        const auto* offered = static_cast<const xcb_atom_t*>(xcb_get_property_value(list.get()));
        const int count = xcb_get_property_value_length(list.get()) / 4;
        std::vector<xcb_atom_t> chosen;
        for (xcb_atom_t t : ours)
            if (std::find(offered, offered + count, t) != offered + count)
                chosen.push_back(t);
        return chosen.empty() ? ours : chosen;
    }

    Clock::time_point pieceDeadline() const
    {
        return std::min(Clock::now() + std::chrono::milliseconds(m_timeout), m_end);
    }

    // The next event `wanted` accepts, or none at `deadline` or when the connection fails; other
    // events are dropped (the INCR property's own NewValue, our deletions).
    Reply<xcb_generic_event_t> waitFor(Clock::time_point deadline, const std::function<bool(const xcb_generic_event_t*)>& wanted)
    {
        xcb_flush(m_c);
        for (;;) {
            while (Reply<xcb_generic_event_t> e{xcb_poll_for_event(m_c)})
                if (wanted(e.get()))
                    return e;
            if (xcb_connection_has_error(m_c))
                return nullptr;
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0)
                return nullptr;
            pollfd p{xcb_get_file_descriptor(m_c), POLLIN, 0};
            ::poll(&p, 1, int(std::min<long long>(left, 1000)));
        }
    }

    // Asks the owner to put the selection as `target` on our property.
    Ask convert(xcb_atom_t target)
    {
        xcb_delete_property(m_c, m_window, m_property);
        xcb_convert_selection(m_c, m_window, m_clipboard, target, m_property, XCB_CURRENT_TIME);
        const auto notify = waitFor(pieceDeadline(), [this](const xcb_generic_event_t* e) {
            if ((e->response_type & 0x7f) != XCB_SELECTION_NOTIFY)
                return false;
            const auto* n = reinterpret_cast<const xcb_selection_notify_event_t*>(e);
            return n->requestor == m_window && n->selection == m_clipboard;
        });
        if (!notify)
            return Ask::Silent;
        return reinterpret_cast<const xcb_selection_notify_event_t*>(notify.get())->property == XCB_NONE ? Ask::Refused
                                                                                                          : Ask::Answered;
    }

    bool isText(xcb_atom_t type, xcb_atom_t target) const
    {
        // STRING is Latin-1 and goes only when asked for; UTF-8 may come as either UTF-8 name.
        if (target == XCB_ATOM_STRING)
            return type == XCB_ATOM_STRING;
        return type == m_utf8 || type == m_plainUtf8;
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

    xcb_connection_t* m_c = nullptr;
    xcb_window_t m_window = XCB_NONE;
    xcb_atom_t m_clipboard = XCB_NONE, m_targets = XCB_NONE, m_incr = XCB_NONE, m_utf8 = XCB_NONE,
               m_plainUtf8 = XCB_NONE, m_property = XCB_NONE;
    bool m_ready = false;
    int m_timeout;
    Clock::time_point m_end;
};

} // namespace

bool available()
{
    return true;
}

Result readText(const QByteArray& display, qint64 maxBytes, int timeoutMs, int limitMs)
{
    Transfer transfer(display, timeoutMs, limitMs);
    return transfer.run(maxBytes);
}

#else

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

} // namespace brinmoor::X11ClipboardReader
