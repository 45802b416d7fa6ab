#pragma once

#include <QUrl>

namespace nimbrook {

// Hands a URL to the desktop's default handler for its scheme.
class UrlOpener {
public:
    virtual ~UrlOpener() = default;
    // False when no handler took it. Main thread.
    virtual bool open(const QUrl& url) = 0;
};

} // namespace nimbrook
