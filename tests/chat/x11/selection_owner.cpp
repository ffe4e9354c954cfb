// A program that takes an X selection and serves it as the end-to-end tests need a misbehaving one:
//   selection_owner <CLIPBOARD|PRIMARY> hang
//       lists nothing and sends nothing: every request goes unanswered.
//   selection_owner <CLIPBOARD|PRIMARY> serve <file> <piece bytes> <delay ms>
//       offers the file as UTF8_STRING through INCR, a piece at a time, each after the delay.
// It prints "owner" once the X server has made it the owner and "sent" each time a transfer has
// ended, and ends when another program takes the selection or it is killed.
#include <xcb/xcb.h>

#include <poll.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

xcb_connection_t* c = nullptr;

xcb_atom_t atom(const char* name)
{
    xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t a = r ? r->atom : XCB_NONE;
    std::free(r);
    return a;
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
    xcb_send_event(c, 0, req->requestor, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&n));
}

struct Transfer {
    xcb_atom_t property;
    size_t offset = 0;
    Clock::time_point due;  // when the next piece goes; max: waiting for the requestor's delete
};

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3 || (std::strcmp(argv[2], "serve") == 0 && argc < 6)) {
        std::fprintf(stderr, "usage: %s <CLIPBOARD|PRIMARY> hang | serve <file> <piece bytes> <delay ms>\n", argv[0]);
        return 2;
    }
    const bool hangs = std::strcmp(argv[2], "hang") == 0;
    std::string data;
    size_t piece = 0;
    std::chrono::milliseconds delay{0};
    if (!hangs) {
        std::ifstream in(argv[3], std::ios::binary);
        data.assign(std::istreambuf_iterator<char>(in), {});
        piece = std::strtoul(argv[4], nullptr, 10);
        delay = std::chrono::milliseconds(std::strtol(argv[5], nullptr, 10));
    }
    c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c))
        return 1;
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_window_t window = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      screen->root_visual, 0, nullptr);
    const xcb_atom_t selection = atom(argv[1]), targets = atom("TARGETS"), utf8 = atom("UTF8_STRING"), incr = atom("INCR");
    xcb_set_selection_owner(c, window, selection, XCB_CURRENT_TIME);
    std::free(xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr));
    std::printf("owner\n");
    std::fflush(stdout);

    std::map<xcb_window_t, Transfer> transfers;
    for (;;) {
        while (xcb_generic_event_t* e = xcb_poll_for_event(c)) {
            const int type = e->response_type & 0x7f;
            if (type == XCB_SELECTION_CLEAR) {
                std::free(e);
                return 0;
            }
            if (type == XCB_SELECTION_REQUEST && !hangs) {
                const auto* req = reinterpret_cast<const xcb_selection_request_event_t*>(e);
                if (req->target == targets) {
                    const xcb_atom_t list[] = {targets, utf8};
                    xcb_change_property(c, XCB_PROP_MODE_REPLACE, req->requestor, req->property, XCB_ATOM_ATOM, 32, 2, list);
                    notify(req, req->property);
                } else if (req->target == utf8) {
                    const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
                    xcb_change_window_attributes(c, req->requestor, XCB_CW_EVENT_MASK, &events);
                    const uint32_t size = uint32_t(data.size());
                    xcb_change_property(c, XCB_PROP_MODE_REPLACE, req->requestor, req->property, incr, 32, 1, &size);
                    transfers[req->requestor] = {req->property, 0, Clock::time_point::max()};
                    notify(req, req->property);
                } else {
                    notify(req, XCB_NONE);
                }
            } else if (type == XCB_PROPERTY_NOTIFY) {
                const auto* p = reinterpret_cast<const xcb_property_notify_event_t*>(e);
                auto it = transfers.find(p->window);
                if (p->state == XCB_PROPERTY_DELETE && it != transfers.end() && p->atom == it->second.property)
                    it->second.due = Clock::now() + delay;
            }
            std::free(e);
        }
        if (xcb_connection_has_error(c))
            return 1;
        for (auto it = transfers.begin(); it != transfers.end();) {
            Transfer& t = it->second;
            if (t.due > Clock::now()) {
                ++it;
                continue;
            }
            const size_t n = std::min(piece, data.size() - t.offset);
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, it->first, t.property, utf8, 8, uint32_t(n), data.data() + t.offset);
            t.offset += n;
            t.due = Clock::time_point::max();
            if (n == 0) {
                std::printf("sent\n");
                std::fflush(stdout);
            }
            it = n == 0 ? transfers.erase(it) : std::next(it);
        }
        xcb_flush(c);
        pollfd p{xcb_get_file_descriptor(c), POLLIN, 0};
        ::poll(&p, 1, 5);
    }
}
