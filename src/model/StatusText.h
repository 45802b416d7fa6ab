#pragma once

#include "model/TailscaleState.h"

#include <QString>

namespace nimbrook {

// The line shown in place of the machine list when it is empty.
QString statusText(TailscaleState state);

} // namespace nimbrook
