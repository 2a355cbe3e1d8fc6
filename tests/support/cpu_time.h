#pragma once

#include <windows.h>

#include <cstdint>

namespace splicerec::test {

// The CPU seconds this process has used so far, user and kernel; -1 if Windows will not say.
inline double cpuSeconds()
{
    FILETIME created, exited, kernel, user;
    if (!::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user))
        return -1;
    const auto seconds = [](const FILETIME& t) {
        return double((std::uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}

}  // namespace splicerec::test
