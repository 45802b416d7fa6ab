#pragma once

#include "platform/UrlOpener.h"

namespace nimbrook {

// The desktop's handler for a URL scheme as GIO finds it, following the XDG
// MIME applications rules (mimeapps.list, x-scheme-handler/<scheme>) that
// xdg-open, GNOME and Plasma follow too; started by GIO directly, so that a
// missing handler or one that cannot start is known, not lost in xdg-open.
// The handler gets our environment without the activation tokens meant for
// our own windows.
class GioUrlOpener final : public UrlOpener {
public:
    Result open(const QUrl& url) override;
};

} // namespace nimbrook
