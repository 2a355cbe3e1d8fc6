#pragma once

#include <termios.h>

// Reads the settings of the terminal at `path` through a second descriptor; returns 0
// or the errno of the failure (EBUSY when exclusive mode keeps us out).
int probeTerminalSettings(const char* path, termios* settings);
