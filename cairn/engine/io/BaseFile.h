// One file of the process, shared by every opener.
//
// The file registry keeps one TBaseFile per distinct file name. Each opener receives a handle
// number (from 1); the base file keeps the list of handles with each handle's position, the use
// count, the open flags and the in-process list of locked regions. Two kinds exist: the disk
// file (TPhysicalFile) and the file of an in-memory database (TMemoryFile).
//
// Conventions: operations that can fail return a negative engine code (CAIRN_OSENOENT ...
// CAIRN_OSUNKNOWN) on failure; a failing host call is first recorded through
// TEngineServices::OSError so that the next raised error carries the operating-system number.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cairn/host/RegionList.h"
#include "cairn/host/System.h"

namespace cairn {

class TEngineServices;

// Seek origins.
constexpr int kSeekBegin = 0;
constexpr int kSeekCurrent = 1;
constexpr int kSeekEnd = 2;

struct TFileFlags {
  bool Exclusive = false;
  bool Temporary = false;
  bool Hidden = false;
};

class TBaseFile {
 public:
  TBaseFile(TEngineServices& engine, std::string fileName, const TFileFlags& flags);
  virtual ~TBaseFile();
  TBaseFile(const TBaseFile&) = delete;
  TBaseFile& operator=(const TBaseFile&) = delete;

  virtual int64_t FileSize();
  // Creates (or re-creates) the file empty and gives out a handle; a negative code on failure.
  virtual int32_t CreateNew(bool mustBeNew);
  // Gives out a handle, opening the file for the first one. readOnly is the request on entry and
  // the effective mode on return. A negative code on failure.
  virtual int32_t Open(bool& readOnly);
  // Gives back a handle; 0 or a negative code (unknown handle).
  virtual int32_t Close(int32_t handle);
  virtual int32_t Rename(const std::string& newName);
  virtual int32_t Delete();
  // Transfers at the handle's position and advances it; the byte count or a negative code.
  // A write of 0 bytes ends the file at the handle's position.
  virtual int64_t Read(int32_t handle, void* buffer, int64_t count) = 0;
  virtual int64_t Write(int32_t handle, const void* buffer, int64_t count) = 0;
  virtual int32_t Flush();
  // Moves the handle's position (origin kSeekBegin/Current/End); the new position or a negative
  // code.
  virtual int64_t Seek(int32_t handle, int64_t offset, int origin);
  // Byte-range locks that never wait and never overlap, even through one handle.
  virtual bool Lock(int64_t offset, int64_t length);
  virtual bool Unlock(int64_t offset, int64_t length);

  TEngineServices& Engine() const { return FEngine; }
  const std::string& FileName() const { return FFileName; }
  void SetFileName(std::string name) { FFileName = std::move(name); }
  bool Exclusive() const { return FExclusive; }
  bool ReadOnly() const { return FReadOnly; }
  bool MarkedReadOnly() const { return FMarkedReadOnly; }
  bool Temporary() const { return FTemporary; }
  bool Hidden() const { return FHidden; }
  void SetFlags(const TFileFlags& flags);
  uint16_t UseCount() const { return FUseCount; }
  size_t LockCount() const { return FLocksList.Count(); }
  int64_t Position(int32_t handle) const;

  // The section held around every positioned transfer and around handle bookkeeping.
  host::TCriticalSection& FileSection() { return FFileSection; }

 protected:
  struct THandleEntry {
    int32_t Handle;
    int64_t Position;
  };

  // Adds a handle entry at position 0 and returns its number.
  int32_t AddHandle();
  // The entry of a handle, or nullptr.
  THandleEntry* FindHandle(int32_t handle);
  const THandleEntry* FindHandle(int32_t handle) const;
  // Records a failed host call (a negative Windows error) and returns the negative engine code.
  int32_t HostFailure(int64_t hostResult);

  TEngineServices& FEngine;
  host::TCriticalSection FLockSection;
  mutable host::TCriticalSection FFileSection;
  bool FExclusive = false;
  bool FReadOnly = false;
  bool FMarkedReadOnly = false;
  bool FTemporary = false;
  bool FHidden = false;
  std::string FFileName;
  int64_t FFileSize = 0;
  host::TRegionList FLocksList;
  uint16_t FUseCount = 0;
  std::vector<THandleEntry> FHandlesList;
  int32_t FLastHandle = 0;
};

}  // namespace cairn
