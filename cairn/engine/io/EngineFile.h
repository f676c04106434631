// One opener's view of a file: its name, open flags, base file and handle.
//
// It reaches the file registry and raises its errors through the engine it was given, which
// must outlive it.
//
// Every failure becomes an engine error naming ProperFileName (the file name here; table files
// name their table) and the database the file belongs to. The lock file of a directory is a plain
// TEngineFile; the table files are buffered files built on it.
#pragma once

#include <cstdint>
#include <string>

#include "cairn/engine/io/BaseFile.h"

namespace cairn {

class TEngineServices;

class TEngineFile {
 public:
  explicit TEngineFile(TEngineServices& engine, std::string fileName = {})
      : FEngine(engine), FFileName(std::move(fileName)) {}
  // Gives back the handle of a file still open; errors are swallowed here.
  virtual ~TEngineFile();
  TEngineFile(const TEngineFile&) = delete;
  TEngineFile& operator=(const TEngineFile&) = delete;

  // The names used in error messages.
  virtual std::string ProperFileName() const { return FFileName; }
  virtual std::string ProperDatabaseName() const { return FDatabaseName; }
  // Opens the file with the current flags; nothing when it is already open. CAIRN_OSENOENT when it
  // does not exist.
  virtual void OpenFile();
  virtual void CloseFile();
  // Creates or replaces the file (exclusive), closing this opener's handle first.
  virtual void CreateFile();
  virtual void DeleteFile();
  virtual void RenameFile(const std::string& newName);
  // Reads at the position; fewer bytes than asked fail with CAIRN_READERR unless ignoreLessBytes.
  virtual int64_t Read(void* buffer, int64_t count, bool ignoreLessBytes = false);
  // One length byte, then that many characters.
  virtual std::string ReadString();
  // Writes at the position; fewer bytes fail with 9218. A write of 0 bytes ends the file at the
  // position.
  virtual void Write(const void* buffer, int64_t count);
  // Hands the file's writes to the operating system's disk.
  virtual void Flush();

  // At most 255 characters behind one length byte.
  void WriteString(const std::string& value);
  // Moves the position (origin kSeekBegin / kSeekCurrent / kSeekEnd); the new position.
  int64_t Seek(int64_t offset, int origin);
  int64_t GetPos();
  int64_t GetSize();
  // Locks (lock) or unlocks a byte range without waiting; whether it succeeded.
  bool LockRegion(int64_t offset, int64_t length, bool lock);
  bool Exists();
  // The base file's file section, held around every seek-plus-transfer (see TEngineFileLock).
  void LockFile();
  void UnlockFile();
  host::TCriticalSection& FileSection() const;

  TEngineServices& Engine() const { return FEngine; }
  bool InMemory() const { return FInMemory; }
  void SetInMemory(bool value) { FInMemory = value; }
  TBaseFile* BaseFile() const { return FBaseFile; }
  const std::string& FileName() const { return FFileName; }
  void SetFileName(std::string value) { FFileName = std::move(value); }
  int32_t Handle() const { return FHandle; }
  bool Exclusive() const { return FExclusive; }
  void SetExclusive(bool value) { FExclusive = value; }
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool value) { FReadOnly = value; }
  bool MarkedReadOnly() const { return FMarkedReadOnly; }
  bool IsOpen() const { return FIsOpen; }
  bool Temporary() const { return FTemporary; }
  void SetTemporary(bool value) { FTemporary = value; }
  bool Hidden() const { return FHidden; }
  void SetHidden(bool value) { FHidden = value; }
  // CreateFile fails, leaving the file as it is, when the file exists already.
  void SetCreateOnlyNew(bool value) { FCreateOnlyNew = value; }
  // The database named in this file's errors.
  const std::string& DatabaseName() const { return FDatabaseName; }
  void SetDatabaseName(std::string value) { FDatabaseName = std::move(value); }

  // Raises an engine error naming this file and its database.
  [[noreturn]] void RaiseError(uint16_t errorCode) const;

 protected:
  // Raises the code of a negative registry or base-file result.
  [[noreturn]] void RaiseResult(int64_t result) const;
  // The open base file, or an invalid-handle error.
  TBaseFile& OpenBaseFile() const;
  void Forget();

 private:
  TEngineServices& FEngine;
  std::string FFileName;
  std::string FDatabaseName;
  TBaseFile* FBaseFile = nullptr;
  int32_t FHandle = 0;
  bool FInMemory = false;
  bool FExclusive = false;
  bool FReadOnly = false;
  bool FMarkedReadOnly = false;
  bool FIsOpen = false;
  bool FTemporary = false;
  bool FHidden = false;
  bool FCreateOnlyNew = false;
};

// Holds a file's file section for a scope.
class TEngineFileLock {
 public:
  explicit TEngineFileLock(const TEngineFile& file) : FSection(file.FileSection()) {
    FSection.lock();
  }
  ~TEngineFileLock() { FSection.unlock(); }
  TEngineFileLock(const TEngineFileLock&) = delete;
  TEngineFileLock& operator=(const TEngineFileLock&) = delete;

 private:
  host::TCriticalSection& FSection;
};

}  // namespace cairn
