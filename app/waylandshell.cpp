// SPDX-License-Identifier: MIT
#include "app/waylandshell.h"

#include <QGuiApplication>
#include <QWindow>
#include <cstring>

// Qt 6.4 has no public way to its Wayland connection (it came with 6.5): the platform's native
// interface gives it, and libwayland-client, which Qt's plugin loads anyway, speaks on it.
#include <qpa/qplatformnativeinterface.h>
#include <wayland-client.h>

namespace waylandshell {

namespace {

// Qt's Wayland object of that name, the window's or else the connection's; null elsewhere.
void* waylandResource(const char* name, QWindow* window = nullptr) {
    const QString platform = QGuiApplication::platformName();
    QPlatformNativeInterface* native = QGuiApplication::platformNativeInterface();
    if (native == nullptr ||
        (platform != QLatin1String("wayland") && platform != QLatin1String("wayland-egl"))) {
        return nullptr;
    }
    return window != nullptr ? native->nativeResourceForWindow(name, window)
                             : native->nativeResourceForIntegration(name);
}

const wl_registry_listener kRegistryListener = {
    [](void* offered, wl_registry*, uint32_t, const char* interface, uint32_t) {
        if (std::strcmp(interface, "zxdg_decoration_manager_v1") == 0) {
            *static_cast<bool*>(offered) = true;
        }
    },
    [](void*, wl_registry*, uint32_t) {}};

}  // namespace

bool compositorDrawsFrames() {
    static const bool offered = [] {
        auto* display = static_cast<wl_display*>(waylandResource("wl_display"));
        if (display == nullptr) {
            return false;
        }
        // A registry of our own, answered on a queue of our own, so nothing of Qt's is
        // dispatched here. One round trip at start-up, as Qt itself makes while it connects.
        wl_event_queue* queue = wl_display_create_queue(display);
        auto* wrapper = static_cast<wl_display*>(wl_proxy_create_wrapper(display));
        wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(wrapper), queue);
        wl_registry* registry = wl_display_get_registry(wrapper);
        bool found = false;
        wl_registry_add_listener(registry, &kRegistryListener, &found);
        const bool answered = wl_display_roundtrip_queue(display, queue) >= 0;
        wl_registry_destroy(registry);
        wl_proxy_wrapper_destroy(wrapper);
        wl_event_queue_destroy(queue);
        return answered && found;
    }();
    return offered;
}

bool showWindowMenu(QWindow* window, const QPoint& at) {
    if (window == nullptr || window->handle() == nullptr) {
        return false;
    }
    auto* toplevel = static_cast<wl_proxy*>(waylandResource("xdg_toplevel", window));
    auto* seat = static_cast<wl_proxy*>(waylandResource("wl_seat"));
    // The serial of the latest input, the press being handled: the compositor shows the menu
    // only for a press it has just delivered.
    const auto serial =
        static_cast<uint32_t>(reinterpret_cast<quintptr>(waylandResource("serial")));
    if (toplevel == nullptr || seat == nullptr) {
        return false;
    }
    // xdg_toplevel.show_window_menu(seat, serial, x, y): request 4 of the stable xdg-shell, whose
    // numbering is fixed; Qt's plugin keeps its generated wrappers to itself.
    constexpr uint32_t kShowWindowMenu = 4;
    wl_proxy_marshal_flags(toplevel, kShowWindowMenu, nullptr, wl_proxy_get_version(toplevel), 0,
                           seat, serial, at.x(), at.y());
    return true;
}

}  // namespace waylandshell
