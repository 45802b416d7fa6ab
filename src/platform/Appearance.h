#pragma once

#include <QObject>

namespace nimbrook {

// The desktop's light or dark preference, now and as it changes. Main thread.
class Appearance : public QObject {
    Q_OBJECT

public:
    enum class ColorScheme { noPreference, dark, light };

    using QObject::QObject;

    // noPreference also when the desktop does not say.
    virtual ColorScheme colorScheme() const = 0;

signals:
    void colorSchemeChanged(nimbrook::Appearance::ColorScheme scheme);
};

} // namespace nimbrook
