#pragma once

// What a program waiting in the tray need not keep.
namespace lotfinch::platform {

// Drops the cache of drawn controls (redrawn when next shown) and hands the
// memory the program has freed back to the system, which the C library
// otherwise keeps for later use.
void ReleaseIdleMemory();

} // namespace lotfinch::platform
