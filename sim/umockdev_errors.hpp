#pragma once
// Setting up a umockdev testbed: a step that fails throws with GLib's reason.
#include <umockdev.h>

#include <stdexcept>
#include <string>

namespace termsim {

// Throws "`what`: reason" when `ok` is false, and frees `error` either way.
inline void ThrowUnless(bool ok, GError*& error, const std::string& what) {
    if (ok) {
        g_clear_error(&error);
        return;
    }
    const std::string message = error ? error->message : "unknown error";
    g_clear_error(&error);
    throw std::runtime_error(what + ": " + message);
}

}  // namespace termsim
