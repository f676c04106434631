#include "cairn/engine/OsErrorCode.h"

#include "cairn/error/EngineErrorCodes.h"
#include "cairn/host/OsError.h"

namespace cairn {

uint16_t EngineCodeFromWindowsError(int windowsError) {
  switch (windowsError) {
    case host::kErrorFileNotFound:
    case host::kErrorPathNotFound:
      return CAIRN_OSENOENT;
    case host::kErrorTooManyOpenFiles:
      return CAIRN_OSEMFILE;
    case host::kErrorAccessDenied:
    case host::kErrorSharingViolation:
    case host::kErrorLockViolation:
    case host::kErrorNetworkAccessDenied:
    case host::kErrorAlreadyExists:
      return CAIRN_OSEACCES;
    case host::kErrorInvalidHandle:
      return CAIRN_OSEBADF;
    case host::kErrorNotEnoughMemory:
    case host::kErrorOutOfMemory:
      return CAIRN_OSENOMEM;
    case host::kErrorInvalidDrive:
      return CAIRN_OSENODEV;
    case host::kErrorNotSameDevice:
      return CAIRN_OSENOTSAM;
    default:
      return CAIRN_OSUNKNOWN;
  }
}

}  // namespace cairn
