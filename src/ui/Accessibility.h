#pragma once

namespace nimbrook {

// Makes the panel's rows and commands push buttons for screen readers: a row's
// name is the machine's name and its description the row's subtitle; a
// command's name is its title. Pressing one does what a click does. Call once,
// before the panel is shown.
void installAccessibility();

} // namespace nimbrook
