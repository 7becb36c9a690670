#include "gui/HelpWindow.h"

#include <xcb/xcb.h>

#include <QGuiApplication>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <vector>

#include "gui/Messages.h"

namespace torva::gui {
namespace {

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
template <class T>
using Reply = std::unique_ptr<T, FreeDeleter>;

// ICCCM WM_STATE values.
constexpr std::uint32_t kIconicState = 3;
// _NET_ACTIVE_WINDOW's source indication for a tool acting for the user.
constexpr std::uint32_t kSourcePager = 2;
// Longest property read, in 32-bit units: far more than any title or list.
constexpr std::uint32_t kPropertyLength = 1u << 16;

struct Atoms {
  xcb_atom_t clientList = XCB_NONE;
  xcb_atom_t supported = XCB_NONE;
  xcb_atom_t activeWindow = XCB_NONE;
  xcb_atom_t wmName = XCB_NONE;
  xcb_atom_t utf8String = XCB_NONE;
  xcb_atom_t wmState = XCB_NONE;
};

Atoms InternAtoms(xcb_connection_t* c) {
  const char* names[] = {"_NET_CLIENT_LIST", "_NET_SUPPORTED", "_NET_ACTIVE_WINDOW",
                         "_NET_WM_NAME",     "UTF8_STRING",    "WM_STATE"};
  xcb_intern_atom_cookie_t cookies[std::size(names)];
  for (std::size_t i = 0; i < std::size(names); ++i)
    cookies[i] = xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(names[i])), names[i]);
  xcb_atom_t values[std::size(names)];
  for (std::size_t i = 0; i < std::size(names); ++i) {
    xcb_generic_error_t* error = nullptr;
    Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(c, cookies[i], &error));
    std::free(error);
    values[i] = reply ? reply->atom : XCB_NONE;
  }
  return {values[0], values[1], values[2], values[3], values[4], values[5]};
}

Reply<xcb_get_property_reply_t> GetProperty(xcb_connection_t* c, xcb_window_t window,
                                            xcb_atom_t property, xcb_atom_t type) {
  xcb_generic_error_t* error = nullptr;
  Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
      c, xcb_get_property(c, 0, window, property, type, 0, kPropertyLength), &error));
  std::free(error);
  if (!reply || reply->type == XCB_NONE) return nullptr;
  return reply;
}

// The 32-bit values of a property of the given type; nullopt when it is absent.
std::optional<std::vector<std::uint32_t>> Values32(xcb_connection_t* c, xcb_window_t window,
                                                   xcb_atom_t property, xcb_atom_t type) {
  if (property == XCB_NONE) return std::nullopt;
  const auto reply = GetProperty(c, window, property, type);
  if (!reply || reply->format != 32 || reply->type != type) return std::nullopt;
  const auto* first = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
  const int bytes = xcb_get_property_value_length(reply.get());
  return std::vector<std::uint32_t>(first, first + bytes / 4);
}

std::optional<QString> Title(xcb_connection_t* c, xcb_window_t window, const Atoms& atoms) {
  const auto text = [&](xcb_atom_t property) -> std::optional<QString> {
    if (property == XCB_NONE) return std::nullopt;
    const auto reply = GetProperty(c, window, property, XCB_GET_PROPERTY_TYPE_ANY);
    if (!reply || reply->format != 8) return std::nullopt;
    const auto* bytes = static_cast<const char*>(xcb_get_property_value(reply.get()));
    const int length = xcb_get_property_value_length(reply.get());
    if (reply->type == atoms.utf8String) return QString::fromUtf8(bytes, length);
    return QString::fromLatin1(bytes, length);
  };
  if (auto name = text(atoms.wmName)) return name;
  return text(XCB_ATOM_WM_NAME);
}

bool IsIconic(xcb_connection_t* c, xcb_window_t window, const Atoms& atoms) {
  const auto state = Values32(c, window, atoms.wmState, atoms.wmState);
  return state && !state->empty() && (*state)[0] == kIconicState;
}

// A window of the tree is open when it is mapped (if perhaps inside a frame
// that is not) or iconic; a withdrawn window that still carries the title is
// not shown anywhere.
bool IsOpen(xcb_connection_t* c, xcb_window_t window, const Atoms& atoms) {
  xcb_generic_error_t* error = nullptr;
  Reply<xcb_get_window_attributes_reply_t> attributes(
      xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), &error));
  std::free(error);
  if (!attributes) return false;
  return attributes->map_state != XCB_MAP_STATE_UNMAPPED || IsIconic(c, window, atoms);
}

std::vector<xcb_window_t> Children(xcb_connection_t* c, xcb_window_t window) {
  xcb_generic_error_t* error = nullptr;
  Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, xcb_query_tree(c, window), &error));
  std::free(error);
  if (!tree) return {};
  const xcb_window_t* first = xcb_query_tree_children(tree.get());
  return std::vector<xcb_window_t>(first, first + xcb_query_tree_children_length(tree.get()));
}

bool Titled(xcb_connection_t* c, xcb_window_t window, const QString& title, const Atoms& atoms) {
  const auto name = Title(c, window, atoms);
  return name && *name == title;
}

std::optional<HelpWindowId> FindUnderRoot(xcb_connection_t* c, xcb_window_t root, const QString& title,
                                          const Atoms& atoms) {
  if (const auto clients = Values32(c, root, atoms.clientList, XCB_ATOM_WINDOW)) {
    for (const std::uint32_t window : *clients)
      if (Titled(c, window, title, atoms)) return window;
    return std::nullopt;
  }
  for (const xcb_window_t top : Children(c, root)) {
    if (Titled(c, top, title, atoms) && IsOpen(c, top, atoms)) return top;
    for (const xcb_window_t inner : Children(c, top))
      if (Titled(c, inner, title, atoms) && IsOpen(c, inner, atoms)) return inner;
  }
  return std::nullopt;
}

xcb_connection_t* ToolkitConnection() {
  if (!qGuiApp) return nullptr;
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  return x11 ? x11->connection() : nullptr;
}

std::optional<HelpWindowId> FindOnDesktop(const QString& title) {
  return FindX11WindowByTitle(ToolkitConnection(), title);
}

void RaiseOnDesktop(HelpWindowId window) { RaiseX11Window(ToolkitConnection(), window); }

HelpWindowFinder g_finder = FindOnDesktop;
HelpWindowRaiser g_raiser = RaiseOnDesktop;

}  // namespace

std::optional<HelpWindowId> FindX11WindowByTitle(xcb_connection_t* c, const QString& title) {
  if (!c || xcb_connection_has_error(c)) return std::nullopt;
  const Atoms atoms = InternAtoms(c);
  for (auto screens = xcb_setup_roots_iterator(xcb_get_setup(c)); screens.rem; xcb_screen_next(&screens)) {
    if (auto found = FindUnderRoot(c, screens.data->root, title, atoms)) return found;
  }
  return std::nullopt;
}

void RaiseX11Window(xcb_connection_t* c, HelpWindowId window) {
  if (!c || xcb_connection_has_error(c)) return;
  const Atoms atoms = InternAtoms(c);
  xcb_generic_error_t* error = nullptr;
  Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, xcb_query_tree(c, window), &error));
  std::free(error);
  if (!tree) return;  // closed since it was found
  // Requests are checked and their errors dropped: the window may close at
  // any moment, and its error must not reach the toolkit's event queue.
  if (IsIconic(c, window, atoms)) std::free(xcb_request_check(c, xcb_map_window_checked(c, window)));
  const auto supported = Values32(c, tree->root, atoms.supported, XCB_ATOM_ATOM);
  if (supported && atoms.activeWindow != XCB_NONE &&
      std::find(supported->begin(), supported->end(), atoms.activeWindow) != supported->end()) {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = atoms.activeWindow;
    event.data.data32[0] = kSourcePager;
    event.data.data32[1] = XCB_CURRENT_TIME;
    std::free(xcb_request_check(
        c, xcb_send_event_checked(c, 0, tree->root,
                                  XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                                  reinterpret_cast<const char*>(&event))));
  }
  const std::uint32_t above = XCB_STACK_MODE_ABOVE;
  std::free(xcb_request_check(c, xcb_configure_window_checked(c, window, XCB_CONFIG_WINDOW_STACK_MODE, &above)));
  xcb_flush(c);
}

QString HelpWindowTitle() {
  return IsEnglish() ? QStringLiteral("TORVAConsole's Operator Manual") : QStringLiteral("TORVAConsole 用户指南");
}

bool RaiseOpenHelpWindow() {
  const auto window = g_finder ? g_finder(HelpWindowTitle()) : std::nullopt;
  if (!window) return false;
  if (g_raiser) g_raiser(*window);
  return true;
}

ScopedHelpWindowCalls::ScopedHelpWindowCalls(HelpWindowFinder finder, HelpWindowRaiser raiser)
    : savedFinder_(g_finder), savedRaiser_(g_raiser) {
  if (finder) g_finder = std::move(finder);
  if (raiser) g_raiser = std::move(raiser);
}

ScopedHelpWindowCalls::~ScopedHelpWindowCalls() {
  g_finder = savedFinder_;
  g_raiser = savedRaiser_;
}

}  // namespace torva::gui
