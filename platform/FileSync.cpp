#include "platform/FileSync.h"

#include <fcntl.h>

namespace platform {

void StartWriteback(int fd, std::int64_t offset, std::int64_t length)
{
#if defined(__linux__)
    if (fd >= 0 && length > 0)
        ::sync_file_range(fd, offset, length, SYNC_FILE_RANGE_WRITE);
#else
    (void)fd;
    (void)offset;
    (void)length;
#endif
}

} // namespace platform
