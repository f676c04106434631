// The engine's registry of open files: one base file per distinct name per process.
//
// Two lists, one for disk files and one for the files of in-memory databases, each kept sorted by
// file name (compared without regard to case) under its own critical section; the sections are
// taken one at a time. Every operation returns a handle (>= 1), 0, or a negative engine code;
// the file object above turns a negative result into a raised error.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cairn/host/System.h"

namespace cairn {

class TBaseFile;
class TEngineServices;

// The in and out arguments of opening or creating a file.
struct TFileOpenArgs {
  bool InMemory = false;
  bool ReadOnly = false;  // in: the request; out: the effective mode
  bool Exclusive = false;
  bool Temporary = false;
  bool Hidden = false;
  bool MustBeNew = false;  // create only a file that is not there yet
  // Results.
  TBaseFile* BaseFile = nullptr;
  bool MarkedReadOnly = false;  // the file itself is not writable
};

class TFileRegistry {
 public:
  explicit TFileRegistry(TEngineServices& engine);
  ~TFileRegistry();
  TFileRegistry(const TFileRegistry&) = delete;
  TFileRegistry& operator=(const TFileRegistry&) = delete;

  // Opens a file, sharing the base file with earlier openers. A handle or a negative code:
  // CAIRN_OSEACCES when an open handle or this request is exclusive, CAIRN_OSENOENT for an unknown
  // memory file.
  int32_t OpenFile(const std::string& fileName, TFileOpenArgs& args);
  // Creates or re-creates a file, always exclusive; CAIRN_OSEACCES when the file has open handles.
  int32_t CreateFile(const std::string& fileName, TFileOpenArgs& args);
  // Gives back a handle; when the last one goes a temporary file is deleted and a disk file
  // unregistered. 0, or -11010 when the base file is unknown or has no handles.
  int32_t CloseFile(TBaseFile* baseFile, bool inMemory, int32_t handle);
  int32_t RenameFile(const std::string& oldName, bool inMemory, const std::string& newName);
  int32_t DeleteFile(const std::string& fileName, bool inMemory);
  bool FileExists(const std::string& fileName, bool inMemory, bool hidden);
  // Whether the name is registered; position receives its sorted (insertion) position.
  bool FindFile(const std::string& fileName, bool inMemory, size_t& position);
  // Names of the memory files matching the mask, or of the disk files matching it. Without
  // includeExtensions the extension is cut; without includePath only the file name is given.
  void GetFileNames(bool inMemory, const std::string& mask, bool includePath,
                    bool includeExtensions, std::vector<std::string>& list);
  // A name in the directory that no registered or disk file has yet.
  std::string GetTempFileName(const std::string& directory, const std::string& extension,
                              bool hidden, bool inMemory);

  // Frees every registered file of both lists (deleting temporary ones).
  void CloseAll();
  size_t Count(bool inMemory);

 private:
  struct TFileList {
    host::TCriticalSection Section;
    std::vector<std::unique_ptr<TBaseFile>> Files;  // sorted by name without regard to case
  };

  TFileList& List(bool inMemory) { return inMemory ? FMemoryFileList : FPhysicalFileList; }
  std::unique_ptr<TBaseFile> NewBaseFile(const std::string& fileName, bool inMemory,
                                         const TFileOpenArgs& args);
  bool FindUnlocked(const TFileList& list, const std::string& fileName, size_t& position) const;
  static void CloseList(TFileList& list);

  TEngineServices& FEngine;
  TFileList FPhysicalFileList;
  TFileList FMemoryFileList;
};

}  // namespace cairn
