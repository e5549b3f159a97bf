#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <sys/types.h>
#include <vector>

// The HTTP helper processes a test looks at, from /proc.
namespace lotfinch::test {

// The helpers that parent started and that are still alive.
inline std::vector<pid_t> httpHelpersOf(pid_t parent)
{
    std::vector<pid_t> found;
    for (const auto &entry : std::filesystem::directory_iterator("/proc")) {
        std::ifstream stat(entry.path() / "stat");
        std::string pid, name, state;
        pid_t parentOfIt = 0;
        if (stat >> pid >> name >> state >> parentOfIt && name == "(lotfinch-http)" && state != "Z" &&
            parentOfIt == parent)
            found.push_back(std::stoi(pid));
    }
    return found;
}

// Whether the process has ended (a zombie nobody reaped yet has).
inline bool processEnded(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string number, name, state;
    return !(stat >> number >> name >> state) || state == "Z";
}

} // namespace lotfinch::test
