#pragma once

#include <memory>
#include <string>

#include "http/HttpClient.h"

// The HTTP client layer on libcurl, as the HTTP helper process runs it.
namespace lotfinch::http {

// A session on libcurl, or nothing when it cannot start or the agent would
// break the header lines (CR, LF, NUL).
std::unique_ptr<HttpSession> openCurlSession(const HttpSessionOptions &options);

// The cookies every cookie-keeping request of this process shares, as lines
// in the Netscape cookie file format, each ended by CR LF.
std::string storedCookies();
// Replaces them all.
void replaceStoredCookies(const std::string &lines);

} // namespace lotfinch::http
