#include "app/X11Startup.h"

#include <QGuiApplication>
#include <QWindow>

#include <xcb/xcb.h>

#include <algorithm>
#include <charconv>
#include <cstring>

namespace oxel {
namespace {

xcb_atom_t atom(xcb_connection_t* connection, const char* name)
{
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name), nullptr);
    if (!reply) return XCB_ATOM_NONE;
    xcb_atom_t result = reply->atom;
    std::free(reply);
    return result;
}

xcb_screen_t* screenOf(xcb_connection_t* connection)
{
    return xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
}

void askToActivate(xcb_connection_t* connection, xcb_window_t root, xcb_window_t window, uint32_t time)
{
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = atom(connection, "_NET_ACTIVE_WINDOW");
    event.data.data32[0] = 1; // from an application
    event.data.data32[1] = time;
    xcb_send_event(connection, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
}

// The message goes to the root window in pieces of 20 bytes, the first typed "begin", the
// terminating zero included.
void broadcast(xcb_connection_t* connection, xcb_window_t root, const std::string& message)
{
    xcb_window_t sender = xcb_generate_id(connection);
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, sender, root, -100, -100, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, 0, nullptr);
    const xcb_atom_t begin = atom(connection, "_NET_STARTUP_INFO_BEGIN");
    const xcb_atom_t more = atom(connection, "_NET_STARTUP_INFO");
    const std::string bytes = message + '\0';
    for (size_t offset = 0; offset < bytes.size(); offset += 20) {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 8;
        event.window = sender;
        event.type = offset == 0 ? begin : more;
        std::memcpy(event.data.data8, bytes.data() + offset, std::min<size_t>(20, bytes.size() - offset));
        xcb_send_event(connection, 0, root, XCB_EVENT_MASK_PROPERTY_CHANGE, reinterpret_cast<const char*>(&event));
    }
    xcb_destroy_window(connection, sender);
}

} // namespace

std::optional<uint32_t> startupTokenTime(const std::string& token)
{
    const size_t at = token.rfind("_TIME");
    if (at == std::string::npos) return std::nullopt;
    const char* first = token.data() + at + 5;
    const char* last = token.data() + token.size();
    uint32_t time = 0;
    auto [end, error] = std::from_chars(first, last, time);
    if (error != std::errc() || end != last || first == last) return std::nullopt;
    return time;
}

std::string startupRemoveMessage(const std::string& token)
{
    std::string message = "remove: ID=\"";
    for (char c : token) {
        if (c == '"' || c == '\\') message += '\\';
        message += c;
    }
    return message + '"';
}

bool activateWithStartupToken(QWindow& window, const std::string& token)
{
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection()) return false;
    xcb_connection_t* connection = x11->connection();
    const xcb_window_t root = screenOf(connection)->root;
    if (std::optional<uint32_t> time = startupTokenTime(token))
        askToActivate(connection, root, xcb_window_t(window.winId()), *time);
    broadcast(connection, root, startupRemoveMessage(token));
    xcb_flush(connection);
    return true;
}

} // namespace oxel
