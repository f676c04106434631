#include "cairn/host/OsError.h"

#include <cerrno>

namespace cairn::host {

int WindowsErrorFromErrno(int errnoValue, bool lockOrShare) {
  if (lockOrShare && (errnoValue == EWOULDBLOCK || errnoValue == EAGAIN || errnoValue == EACCES))
    return kErrorSharingViolation;
  switch (errnoValue) {
    case ENOENT:
      return kErrorFileNotFound;
    case ENOTDIR:
      return kErrorPathNotFound;
    case EMFILE:
    case ENFILE:
      return kErrorTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
      return kErrorAccessDenied;
    case EEXIST:
      return kErrorAlreadyExists;
    case EBADF:
      return kErrorInvalidHandle;
    case ENOMEM:
      return kErrorNotEnoughMemory;
    case ENODEV:
    case ENXIO:
      return kErrorInvalidDrive;
    case EXDEV:
      return kErrorNotSameDevice;
    default:
      return kErrorUnknown;
  }
}

}  // namespace cairn::host
