#include "platform/linux/GioUrlOpener.h"

#include <QLoggingCategory>

// GLib's headers use "signals" as a name, which Qt defines as a keyword.
#undef signals
#include <gio/gio.h>

#include <memory>

namespace nimbrook {

Q_LOGGING_CATEGORY(lcOpener, "nimbrook.opener", QtWarningMsg)

namespace {

struct GObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
struct GErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};

} // namespace

UrlOpener::Result GioUrlOpener::open(const QUrl& url) {
    const QByteArray scheme = url.scheme().toUtf8();
    const std::unique_ptr<GAppInfo, GObjectUnref> handler(
        g_app_info_get_default_for_uri_scheme(scheme.constData()));
    if (!handler) {
        qCInfo(lcOpener, "no handler for %s://", scheme.constData());
        return {Outcome::noHandler, {}, {}};
    }
    const QString name = QString::fromUtf8(g_app_info_get_display_name(handler.get()));

    const std::unique_ptr<GAppLaunchContext, GObjectUnref> context(g_app_launch_context_new());
    g_app_launch_context_unsetenv(context.get(), "XDG_ACTIVATION_TOKEN");
    g_app_launch_context_unsetenv(context.get(), "DESKTOP_STARTUP_ID");
    const QByteArray uri = url.toEncoded();
    GList uris{const_cast<char*>(uri.constData()), nullptr, nullptr};
    GError* raw = nullptr;
    if (g_app_info_launch_uris(handler.get(), &uris, context.get(), &raw))
        return {Outcome::opened, name, {}};
    const std::unique_ptr<GError, GErrorFree> error(raw);
    const QString reason = error ? QString::fromUtf8(error->message) : QString();
    qCWarning(lcOpener, "%s did not start for %s: %s", qUtf8Printable(name), uri.constData(),
              qUtf8Printable(reason));
    return {Outcome::failed, name, reason};
}

} // namespace nimbrook
