#pragma once

#include <QString>

namespace nimbrook {

// nimbrook(1) in roff, made from the same option table as --help, so that the
// two cannot disagree. The build writes it with `nimbrook --manual-page`.
QString manualPage(const QString& version);

} // namespace nimbrook
