// Files and byte-range locks of the host, behind an interface that tests can replace.
//
// The engine defines its file behaviour in terms of the Windows file API: opens that share the
// file or hold it exclusively, creation that replaces a file, byte-range locks that never wait and
// never merge. THostFiles gives exactly those semantics on POSIX; the engine holds a pointer to one
// (the POSIX implementation by default) so that a test can count calls or make the k-th call fail.
//
// Conventions: every operation that can fail returns a negative Windows error number on failure
// (-5 access denied, -32 sharing violation, ...; see OsError.h); descriptors and byte counts are
// >= 0 on success.
//
// Paths are the engine's 8-bit strings (Windows-1252), as the Windows file API takes them; the
// POSIX implementation converts them to the disk's UTF-8 and back. Only regular files are opened:
// a directory or device is refused as access denied.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cairn::host {

struct TFileAttributes {
  bool Exists = false;
  bool IsDirectory = false;
  bool ReadOnly = false;  // the file cannot be written by this process
};

class THostFiles {
 public:
  virtual ~THostFiles() = default;

  // Opens an existing file. exclusive: no sharing (another open of the file, in this or another
  // process, fails with a sharing violation, and this open fails while another holds it);
  // otherwise read and write sharing. Returns a descriptor or -error.
  virtual int Open(const std::string& path, bool readOnly, bool exclusive) = 0;
  // Creates or replaces a file, read-write, no sharing. A file that another opener holds is never
  // truncated: the call fails with a sharing violation instead. mustBeNew: an existing file is
  // left as it is and the call fails with "already exists"; the check and the creation are one
  // step, so of two processes creating the same file at once exactly one succeeds.
  virtual int Create(const std::string& path, bool mustBeNew = false) = 0;
  virtual int Close(int fd) = 0;

  // Positioned transfers at explicit 64-bit offsets; return the byte count or -error.
  virtual int64_t Read(int fd, void* buffer, int64_t count, int64_t offset) = 0;
  virtual int64_t Write(int fd, const void* buffer, int64_t count, int64_t offset) = 0;
  virtual int Truncate(int fd, int64_t size) = 0;
  virtual int Flush(int fd) = 0;
  virtual int64_t Size(int fd) = 0;

  // Cross-process byte-range lock that never waits (open-file-description locks). A descriptor
  // opened read-only takes a shared lock, which only excludes writers. The in-process semantics
  // (no overlapping lock even through the same descriptor) are TRegionList's.
  virtual int Lock(int fd, int64_t offset, int64_t length, bool readOnlyFd) = 0;
  virtual int Unlock(int fd, int64_t offset, int64_t length) = 0;

  virtual TFileAttributes Attributes(const std::string& path) = 0;
  // Fails (-183) when newPath exists; never replaces a file.
  virtual int Rename(const std::string& oldPath, const std::string& newPath) = 0;
  virtual int Delete(const std::string& path) = 0;
  // Names (without folder) of the regular files in a directory, sorted by byte; empty when it
  // cannot be read. Names the code page cannot spell are left out.
  virtual std::vector<std::string> ListDirectory(const std::string& directory) = 0;

  // The engine compares file names without regard to case while the disk does not: returns path
  // itself when such a file exists, else the path of a file in the same directory whose name
  // differs only in letter case (the first in byte order when there are several), else path
  // unchanged. Only the last part of the path is matched this way; folders must match exactly.
  virtual std::string Resolve(const std::string& path) = 0;
};

// The POSIX implementation. Stateless; one instance serves the whole process.
THostFiles& PosixFiles();

}  // namespace cairn::host
