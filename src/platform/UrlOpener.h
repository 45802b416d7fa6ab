#pragma once

#include <QString>
#include <QUrl>

namespace nimbrook {

// Hands a URL to the desktop's default handler for its scheme.
class UrlOpener {
public:
    enum class Outcome {
        opened,    // the handler was started with the URL
        noHandler, // nothing is set to open this scheme
        failed,    // a handler is set, but could not be started
    };
    struct Result {
        Outcome outcome = Outcome::opened;
        QString handler; // the handler's name, when one is set
        QString reason;  // why it could not be started (Outcome::failed)
    };

    virtual ~UrlOpener() = default;
    // Finds the handler and starts it, without waiting for it. Main thread.
    virtual Result open(const QUrl& url) = 0;
};

} // namespace nimbrook
