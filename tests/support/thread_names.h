// How many of this process's threads carry a name (the name a thread gave
// itself with pthread_setname_np, as /proc shows it). A joined thread is
// gone from the list.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

inline int ThreadsNamed(const std::string& name) {
    int n = 0;
    std::error_code ec;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", ec)) {
        std::ifstream comm(task.path() / "comm");
        std::string line;
        if (std::getline(comm, line) && line == name) ++n;
    }
    return n;
}
