#include "platform/linux/AvahiSession.h"

#include "platform/linux/AvahiCore.h"
#include "platform/linux/CancelHandle.h"

#include <algorithm>

namespace nimbrook {

namespace {

IpProtocol fromAvahi(AvahiProtocol protocol) {
    switch (protocol) {
    case AVAHI_PROTO_INET:
        return IpProtocol::ipv4;
    case AVAHI_PROTO_INET6:
        return IpProtocol::ipv6;
    default:
        return IpProtocol::unspecified;
    }
}

void report(BrowserRecord& record, BrowserState state) {
    if (record.handlers.onState)
        record.handlers.onState(state);
}

void deliverResults(BrowserRecord& record) {
    if (record.handlers.onResults)
        record.handlers.onResults(record.results);
}

// Adds or removes one sighting of a service; a service goes when its last
// sighting does. Returns whether the set changed.
bool applySighting(QList<ServiceEndpoint>& results, bool added, const QString& name,
                   const QString& type, const QString& domain, const ServiceSighting& sighting) {
    const auto entry = std::find_if(results.begin(), results.end(), [&](const auto& endpoint) {
        return endpoint.name == name && endpoint.type == type && endpoint.domain == domain;
    });
    if (added) {
        if (entry == results.end()) {
            results.append(ServiceEndpoint{name, type, domain, {sighting}});
            return true;
        }
        if (entry->sightings.contains(sighting))
            return false;
        entry->sightings.append(sighting);
        return true;
    }
    if (entry == results.end() || !entry->sightings.removeOne(sighting))
        return false;
    if (entry->sightings.isEmpty())
        results.erase(entry);
    return true;
}

void browseCallback(AvahiServiceBrowser*, AvahiIfIndex interface, AvahiProtocol protocol,
                    AvahiBrowserEvent event, const char* name, const char* type, const char* domain,
                    AvahiLookupResultFlags, void* userdata) {
    auto& record = *static_cast<BrowserRecord*>(userdata);
    switch (event) {
    case AVAHI_BROWSER_NEW:
    case AVAHI_BROWSER_REMOVE:
        if (applySighting(record.results, event == AVAHI_BROWSER_NEW, QString::fromUtf8(name),
                          QString::fromUtf8(type), QString::fromUtf8(domain),
                          ServiceSighting{int(interface), fromAvahi(protocol)}))
            deliverResults(record);
        return;
    case AVAHI_BROWSER_ALL_FOR_NOW:
    case AVAHI_BROWSER_CACHE_EXHAUSTED:
        if (!record.readyReported) {
            record.readyReported = true;
            report(record, BrowserState::ready);
        }
        return;
    case AVAHI_BROWSER_FAILURE:
        qCDebug(lcAvahi, "browser failed");
        AvahiCore::failBrowser(record);
        return;
    }
}

} // namespace

std::unique_ptr<ServiceBrowser> AvahiSession::browse(const QString& serviceType,
                                                     Handlers handlers) {
    auto record = std::make_shared<BrowserRecord>();
    record->type = serviceType;
    record->handlers = std::move(handlers);
    core_->thread.post([core = core_, record] { core->addBrowser(record); });
    return std::make_unique<CancelHandle<ServiceBrowser, AvahiCore, BrowserRecord>>(core_, record);
}

void AvahiCore::addBrowser(const std::shared_ptr<BrowserRecord>& record) {
    if (record->phase != BrowserRecord::Phase::pending || shutDown)
        return;
    browsers.push_back(record);
    report(*record, BrowserState::setup);
    ensureClient();
    if (connected)
        startBrowser(*record);
    else
        report(*record, BrowserState::waiting);
}

void AvahiCore::startBrowser(BrowserRecord& record) {
    const QByteArray type = record.type.toUtf8();
    record.browser =
        avahi_service_browser_new(client, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, type.constData(),
                                  nullptr, AVAHI_LOOKUP_USE_MULTICAST, &browseCallback, &record);
    if (!record.browser) {
        qCDebug(lcAvahi, "cannot browse %s: %s", type.constData(),
                avahi_strerror(avahi_client_errno(client)));
        record.phase = BrowserRecord::Phase::browsing; // so that failBrowser acts
        failBrowser(record);
        return;
    }
    record.phase = BrowserRecord::Phase::browsing;
}

void AvahiCore::failBrowser(BrowserRecord& record) {
    if (record.phase != BrowserRecord::Phase::browsing)
        return;
    if (record.browser) {
        avahi_service_browser_free(record.browser);
        record.browser = nullptr;
    }
    record.results.clear();
    record.phase = BrowserRecord::Phase::failed;
    report(record, BrowserState::failed);
}

void AvahiCore::suspendBrowser(BrowserRecord& record) {
    if (record.phase != BrowserRecord::Phase::browsing)
        return;
    if (record.browser) {
        avahi_service_browser_free(record.browser);
        record.browser = nullptr;
    }
    record.phase = BrowserRecord::Phase::pending;
    record.readyReported = false;
    // The daemon sends no REMOVE events when it goes: every result is stale.
    if (!record.results.isEmpty()) {
        record.results.clear();
        deliverResults(record);
    }
    report(record, BrowserState::waiting);
}

void AvahiCore::cancelBrowser(const std::shared_ptr<BrowserRecord>& record) {
    if (record->phase == BrowserRecord::Phase::cancelled)
        return;
    if (record->browser) {
        avahi_service_browser_free(record->browser);
        record->browser = nullptr;
    }
    record->phase = BrowserRecord::Phase::cancelled;
    std::erase(browsers, record);
    report(*record, BrowserState::cancelled);
}

} // namespace nimbrook
