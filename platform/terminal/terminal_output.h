// Bytes written straight to the terminal, beside ncurses: the start-up
// queries, pictures, and the restoring of the screen from a signal handler.
#pragma once

#include <cstddef>

// Writes all of `bytes` to `fd`, going on after interruptions; only calls
// that are safe in a signal handler.
void write_all(int fd, const char* bytes, size_t length);
