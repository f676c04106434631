#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <limits>

#include "cairn/host/CodePage.h"
#include "cairn/host/HostFiles.h"
#include "cairn/host/OsError.h"
#include "cairn/host/System.h"

namespace cairn::host {

namespace {

// pread/pwrite move at most this much per call; larger transfers loop.
constexpr int64_t kMaxTransfer = int64_t{1} << 30;

// The engine names files in its 8-bit code page, the disk in UTF-8.
std::string OsPath(const std::string& path) {
  return AnsiToUtf8(path);
}

// A directory is not a file: opening or deleting one is refused as access denied.
int FileError(int errnoValue) {
  return errnoValue == EISDIR ? kErrorAccessDenied : WindowsErrorFromErrno(errnoValue);
}

bool ValidRange(int64_t offset, int64_t count) {
  return offset >= 0 && count >= 0 && offset <= std::numeric_limits<int64_t>::max() - count;
}

bool EntryExists(const std::string& osPath) {
  struct stat st;
  return lstat(osPath.c_str(), &st) == 0;
}

// The code-page form of a disk name, or empty when the code page cannot spell it.
std::string AnsiName(const std::string& osName) {
  std::string ansi = Utf8ToAnsi(osName);
  return AnsiToUtf8(ansi) == osName ? ansi : std::string();
}

int OpenRegular(const std::string& osPath, int flags) {
  int fd;
  do {
    fd = open(osPath.c_str(), flags | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return -FileError(errno);
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return -kErrorAccessDenied;
  }
  return fd;
}

// Sharing between openers, in this and other processes: flock locks belong to the open file
// description, so a second open of the same file conflicts even within this process.
int ShareLock(int fd, bool exclusive) {
  int result;
  do {
    result = flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  if (result == 0) return 0;
  int error = WindowsErrorFromErrno(errno, true);
  close(fd);
  return -error;
}

int RangeLock(int fd, short type, int64_t offset, int64_t length) {
  if (!ValidRange(offset, length) || length == 0) return -kErrorInvalidParameter;
  struct flock region {};
  region.l_type = type;
  region.l_whence = SEEK_SET;
  region.l_start = offset;
  region.l_len = length;
  if (fcntl(fd, F_OFD_SETLK, &region) == 0) return 0;
  return -WindowsErrorFromErrno(errno, true);
}

int RenameNoReplace(const std::string& from, const std::string& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return -FileError(errno);
  // The file system cannot rename without replacing: a hard link fails on an existing target,
  // and where links are not possible an existence check guards the plain rename.
  if (link(from.c_str(), to.c_str()) == 0) {
    if (unlink(from.c_str()) == 0) return 0;
    int error = errno;
    unlink(to.c_str());
    return -FileError(error);
  }
  if (errno == EEXIST || errno == ENOENT) return -FileError(errno);
  if (EntryExists(to)) return -kErrorAlreadyExists;
  return rename(from.c_str(), to.c_str()) == 0 ? 0 : -FileError(errno);
}

class TPosixFiles final : public THostFiles {
 public:
  int Open(const std::string& path, bool readOnly, bool exclusive) override {
    int fd = OpenRegular(OsPath(Resolve(path)), readOnly ? O_RDONLY : O_RDWR);
    return fd < 0 ? fd : WithShareLock(fd, exclusive);
  }

  int Create(const std::string& path, bool mustBeNew = false) override {
    // Never O_TRUNC: the file is emptied only once this opener holds it alone.
    int fd = OpenRegular(OsPath(Resolve(path)), O_RDWR | O_CREAT | (mustBeNew ? O_EXCL : 0));
    if (fd < 0) return fd;
    int result = WithShareLock(fd, true);
    if (result < 0) return result;
    if (ftruncate(fd, 0) != 0) {
      int error = FileError(errno);
      close(fd);
      return -error;
    }
    return fd;
  }

  int Close(int fd) override {
    // Linux releases the descriptor even when close reports EINTR; never retry.
    return close(fd) == 0 ? 0 : -FileError(errno);
  }

  int64_t Read(int fd, void* buffer, int64_t count, int64_t offset) override {
    if (!ValidRange(offset, count)) return -kErrorInvalidParameter;
    auto* bytes = static_cast<char*>(buffer);
    int64_t done = 0;
    while (done < count) {
      ssize_t n = pread(fd, bytes + done, std::min(count - done, kMaxTransfer), offset + done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return -FileError(errno);
      if (n == 0) break;  // end of file: the caller decides whether a short read is an error
      done += n;
    }
    return done;
  }

  int64_t Write(int fd, const void* buffer, int64_t count, int64_t offset) override {
    if (!ValidRange(offset, count)) return -kErrorInvalidParameter;
    const auto* bytes = static_cast<const char*>(buffer);
    int64_t done = 0;
    while (done < count) {
      ssize_t n = pwrite(fd, bytes + done, std::min(count - done, kMaxTransfer), offset + done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return -FileError(errno);
      if (n == 0) break;  // reported as a short write
      done += n;
    }
    return done;
  }

  int Truncate(int fd, int64_t size) override {
    if (size < 0) return -kErrorInvalidParameter;
    int result;
    do {
      result = ftruncate(fd, size);
    } while (result != 0 && errno == EINTR);
    return result == 0 ? 0 : -FileError(errno);
  }

  int Flush(int fd) override { return fdatasync(fd) == 0 ? 0 : -FileError(errno); }

  int64_t Size(int fd) override {
    struct stat st;
    return fstat(fd, &st) == 0 ? static_cast<int64_t>(st.st_size) : -FileError(errno);
  }

  int Lock(int fd, int64_t offset, int64_t length, bool readOnlyFd) override {
    // A read-only descriptor cannot hold a write lock; its read lock still excludes writers.
    return RangeLock(fd, readOnlyFd ? F_RDLCK : F_WRLCK, offset, length);
  }

  int Unlock(int fd, int64_t offset, int64_t length) override {
    return RangeLock(fd, F_UNLCK, offset, length);
  }

  TFileAttributes Attributes(const std::string& path) override {
    std::string os = OsPath(Resolve(path));
    TFileAttributes attributes;
    struct stat st;
    if (stat(os.c_str(), &st) != 0) return attributes;
    attributes.Exists = true;
    attributes.IsDirectory = S_ISDIR(st.st_mode);
    attributes.ReadOnly = faccessat(AT_FDCWD, os.c_str(), W_OK, AT_EACCESS) != 0;
    return attributes;
  }

  int Rename(const std::string& oldPath, const std::string& newPath) override {
    std::string from = Resolve(oldPath);
    std::string existing = Resolve(newPath);
    // A file whose name differs from the new name only in case counts as the new name, unless
    // it is the file being renamed (a change of case only).
    if (existing != newPath && existing != from) return -kErrorAlreadyExists;
    return RenameNoReplace(OsPath(from), OsPath(newPath));
  }

  int Delete(const std::string& path) override {
    std::string os = OsPath(Resolve(path));
    struct stat st;
    if (lstat(os.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return -kErrorAccessDenied;
    return unlink(os.c_str()) == 0 ? 0 : -FileError(errno);
  }

  std::vector<std::string> ListDirectory(const std::string& directory) override {
    std::vector<std::string> names;
    std::error_code error;
    std::filesystem::directory_iterator it(OsPath(directory), error);
    for (; !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
      std::error_code typeError;
      if (!it->is_regular_file(typeError)) continue;
      std::string name = AnsiName(it->path().filename().string());
      if (!name.empty()) names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  std::string Resolve(const std::string& path) override {
    if (EntryExists(OsPath(path))) return path;
    std::string name = ExtractFileName(path);
    if (name.empty()) return path;
    std::string folder = ExtractFilePath(path);
    std::string match = FindCaseVariant(folder.empty() ? std::string(".") : folder, name);
    return match.empty() ? path : folder + match;
  }

 private:
  int WithShareLock(int fd, bool exclusive) {
    int result = ShareLock(fd, exclusive);
    return result < 0 ? result : fd;
  }

  // The first name in byte order, among the folder's entries, that equals name without regard to
  // case; empty when there is none.
  static std::string FindCaseVariant(const std::string& folder, const std::string& name) {
    std::string best;
    DIR* dir = opendir(OsPath(folder).c_str());
    if (dir == nullptr) return best;
    while (dirent* entry = readdir(dir)) {
      std::string candidate = AnsiName(entry->d_name);
      if (candidate.empty() || !AnsiSameText(candidate, name)) continue;
      if (best.empty() || candidate < best) best = candidate;
    }
    closedir(dir);
    return best;
  }
};

}  // namespace

THostFiles& PosixFiles() {
  static TPosixFiles files;
  return files;
}

}  // namespace cairn::host
