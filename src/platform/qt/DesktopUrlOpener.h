#pragma once

#include "platform/UrlOpener.h"

namespace nimbrook {

// QDesktopServices: xdg-open on Linux, which finds the x-scheme-handler/vnc
// application (Remmina and KRDC register one).
class DesktopUrlOpener final : public UrlOpener {
public:
    bool open(const QUrl& url) override;
};

} // namespace nimbrook
