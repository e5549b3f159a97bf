#pragma once

#include <cstdint>
#include <string>

namespace lotfinch::desktop {

// The show command a caller passes for an ordinary window.
constexpr int SW_SHOWNORMAL = 1;

// Opens a document with the desktop's default application for it, never
// through a command line. fileName is taken inside defaultDir unless it is an
// absolute path; params has no meaning for the desktop's handler and is only
// accepted. Texts of any length pass whole. Returns a value above 32 when the
// document was handed over, 2 when it does not exist, 31 when the desktop
// could not open it.
intptr_t LaunchFile(const std::string &fileName, const std::string &params, const std::string &defaultDir, int showCmd);

} // namespace lotfinch::desktop
