// A file opened by the Linux CreateFileW: the descriptor and the position
// that ReadFile reads from. Setting the position costs no system call;
// every ReadFile is one pread at it, as on Windows every ReadFile is one
// call into the system.
#ifndef DINFO_PLATFORM_LINUX_FILE_HANDLE_H
#define DINFO_PLATFORM_LINUX_FILE_HANDLE_H

#include <sys/types.h>

namespace dinfo::platform {

struct FileHandle {
  int descriptor;
  off_t position;
};

}  // namespace dinfo::platform

#endif  // DINFO_PLATFORM_LINUX_FILE_HANDLE_H
