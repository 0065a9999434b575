#pragma once
// Saving a file safely: a large file is sent to disk while it is still being written, so that a
// sync at its end (a safe save's) waits only for what is left; and what an interrupted save left
// beside its target is cleared at the next save there.

#include <cstdint>
#include <string>

namespace platform {

// Asks the system to start writing `length` bytes from `offset` of the open file `fd` to disk and
// returns at once. Does nothing where the system has no such request.
void StartWriteback(int fd, std::int64_t offset, std::int64_t length);

// A safe save (QSaveFile) of `target` writes "<name>.XXXXXX" beside it, six random ASCII letters,
// and renames that over the target; killed before the rename, the temporary file stays. Removes
// such files of the target's own name in its folder that are ours and last written before this
// run began: a save of this run, or of a copy started since, is never touched, nor a file whose
// suffix reads as one or two words ("<name>.backup", "<name>.OldBAK"). Call before a save.
void RemoveSaveLeftovers(const std::string& target);

} // namespace platform
