// The system's warning sound. Every beep of the program goes through
// MessageBeep, so tests can count them.
#pragma once

namespace platform {

// Sounds the warning beep (Type as the system's MessageBeep; 0 the default sound).
void MessageBeep(unsigned Type = 0);
// How many beeps the program has sounded so far.
int BeepCount();

}  // namespace platform
