// The process-wide settings the program makes at start-up: shared tables,
// four-digit years, "DD/MM/YYYY", the epoch 40 years back, the "DBFCDX"
// driver, deleted records hidden, 10 lock tries, float tolerance 0.009.
// No Qt: the command-line tools make the same settings.
#pragma once

namespace appkit {

void ApplyProcessSettings();
// What a program of the library sets at start-up: the system's regional
// settings (SetInternational WINDOWS), then the process settings above.
void ApplyStartUpSettings();

}  // namespace appkit
