// Operating-system errors: errno mapped onto the Windows error numbers the engine expects.
#pragma once

namespace cairn::host {

// Windows error numbers the engine distinguishes.
constexpr int kErrorFileNotFound = 2;
constexpr int kErrorPathNotFound = 3;
constexpr int kErrorTooManyOpenFiles = 4;
constexpr int kErrorAccessDenied = 5;
constexpr int kErrorInvalidHandle = 6;
constexpr int kErrorNotEnoughMemory = 8;
constexpr int kErrorOutOfMemory = 14;
constexpr int kErrorInvalidDrive = 15;
constexpr int kErrorNotSameDevice = 17;
constexpr int kErrorSharingViolation = 32;
constexpr int kErrorLockViolation = 33;
constexpr int kErrorNetworkAccessDenied = 65;
constexpr int kErrorInvalidParameter = 87;  // a negative count, offset or length
constexpr int kErrorAlreadyExists = 183;
// Any errno without a Windows counterpart maps to this value, which the engine reports as 11047.
constexpr int kErrorUnknown = 0x10000;

// errno -> Windows error. lockOrShare: the errno came from flock or a byte-range lock, so
// EWOULDBLOCK / EAGAIN / EACCES mean a sharing or lock violation (32).
int WindowsErrorFromErrno(int errnoValue, bool lockOrShare = false);

}  // namespace cairn::host
