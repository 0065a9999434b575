#pragma once
// Writing a large file to disk while it is still being written: a sync at its end (a safe save's)
// then waits only for what is left.

#include <cstdint>

namespace platform {

// Asks the system to start writing `length` bytes from `offset` of the open file `fd` to disk and
// returns at once. Does nothing where the system has no such request.
void StartWriteback(int fd, std::int64_t offset, std::int64_t length);

} // namespace platform
