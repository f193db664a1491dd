// SPDX-License-Identifier: MIT
#include "app/beeper.h"

#ifdef TAVO_HAVE_CANBERRA

#include <canberra.h>

#include <cstdint>

#include "app/soundtheme.h"

namespace {

// The sound theme's "bell" through libcanberra, as an event sound (the desktop's alert volume
// applies), kept in the server's cache so that a beep starts within milliseconds.
class CanberraPlayer : public BeepPlayer {
public:
    ~CanberraPlayer() override {
        if (m_context != nullptr) {
            ca_context_destroy(m_context);
        }
    }

    bool open(QString& error) override {
        const QByteArray theme = desktopSoundTheme(qgetenv("XDG_CURRENT_DESKTOP"));
        int rc = ca_context_create(&m_context);
        if (rc == CA_SUCCESS) {
            // Where the desktop names no theme the list ends before it: libcanberra's default.
            rc = ca_context_change_props(
                m_context, CA_PROP_APPLICATION_NAME, "Tavo", CA_PROP_APPLICATION_ID,
                "io.github.tavo.Tavo", theme.isEmpty() ? nullptr : CA_PROP_CANBERRA_XDG_THEME_NAME,
                theme.constData(), nullptr);
        }
        if (!succeeded(rc == CA_SUCCESS ? ca_context_open(m_context) : rc, error)) {
            return false;
        }
        // Not every backend has a cache; then each play reads the file, a little later.
        ca_context_cache(m_context, CA_PROP_EVENT_ID, "bell", nullptr);
        return true;
    }

    bool play(QString& error) override {
        // A new id per beep: a play never cancels the one before, so back-to-back beeps are two.
        return succeeded(
            ca_context_play(m_context, ++m_id, CA_PROP_EVENT_ID, "bell", CA_PROP_EVENT_DESCRIPTION,
                            "Draw beep", CA_PROP_MEDIA_ROLE, "event",
                            CA_PROP_CANBERRA_CACHE_CONTROL, "permanent", nullptr),
            error);
    }

private:
    static bool succeeded(int rc, QString& error) {
        if (rc != CA_SUCCESS) {
            error = QString::fromUtf8(ca_strerror(rc));
        }
        return rc == CA_SUCCESS;
    }

    ca_context* m_context = nullptr;
    std::uint32_t m_id = 0;
};

}  // namespace

std::unique_ptr<BeepPlayer> makeSystemBeepPlayer() {
    return std::make_unique<CanberraPlayer>();
}

#else

std::unique_ptr<BeepPlayer> makeSystemBeepPlayer() {
    return nullptr;
}

#endif
