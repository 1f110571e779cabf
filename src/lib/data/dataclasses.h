// Registers the data classes of the library (and the platform classes they
// work with) for creation by name, and installs the work-area hooks of the
// block compiler. Programs that create classes by name call it at start.
#pragma once

namespace lib {

void RegisterDataClasses();

}  // namespace lib
