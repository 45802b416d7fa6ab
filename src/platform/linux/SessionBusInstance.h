#pragma once

#include "platform/AppInstance.h"

#include <memory>

namespace nimbrook {

// One instance a session through a well-known name on the session bus, with
// the org.freedesktop.Application interface desktop applications offer: a
// second start calls Activate on the first and leaves. Without a session bus
// every start is its own instance.
class SessionBusInstance final : public AppInstance {
    Q_OBJECT

public:
    // `name`: the application's id ("io.github.nimbrook.nimbrook").
    explicit SessionBusInstance(QString name, QObject* parent = nullptr);
    ~SessionBusInstance() override;

    bool claim() override;

    static constexpr qsizetype maxTokenLength = 256;
    // Whether `token` may be an activation token: what activationRequested()
    // hands on, anything else is dropped.
    static bool isPlausibleToken(const QString& token);

private:
    class Object;
    QString name_;
    QString path_;
    std::unique_ptr<Object> object_;
};

} // namespace nimbrook
