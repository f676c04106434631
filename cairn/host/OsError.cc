#include "cairn/host/OsError.h"

#include <cerrno>

#include "cairn/access/EngineErrorCodes.h"

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

uint16_t EngineCodeFromWindowsError(int windowsError) {
  switch (windowsError) {
    case kErrorFileNotFound:
    case kErrorPathNotFound:
      return CAIRN_OSENOENT;
    case kErrorTooManyOpenFiles:
      return CAIRN_OSEMFILE;
    case kErrorAccessDenied:
    case kErrorSharingViolation:
    case kErrorLockViolation:
    case kErrorNetworkAccessDenied:
    case kErrorAlreadyExists:
      return CAIRN_OSEACCES;
    case kErrorInvalidHandle:
      return CAIRN_OSEBADF;
    case kErrorNotEnoughMemory:
    case kErrorOutOfMemory:
      return CAIRN_OSENOMEM;
    case kErrorInvalidDrive:
      return CAIRN_OSENODEV;
    case kErrorNotSameDevice:
      return CAIRN_OSENOTSAM;
    default:
      return CAIRN_OSUNKNOWN;
  }
}

}  // namespace cairn::host
