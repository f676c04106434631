#include "cairn/engine/io/FileRegistry.h"

#include <algorithm>
#include <cstdlib>
#include <mutex>

#include "cairn/engine/io/BaseFile.h"
#include "cairn/engine/io/EngineServices.h"
#include "cairn/engine/io/MemoryFile.h"
#include "cairn/engine/io/PhysicalFile.h"
#include "cairn/error/EngineErrorCodes.h"
#include "cairn/host/CodePage.h"

namespace cairn {

namespace {

constexpr int32_t kNotFound = -static_cast<int32_t>(CAIRN_OSENOENT);
constexpr int32_t kAccessDenied = -static_cast<int32_t>(CAIRN_OSEACCES);

// Windows wildcard match ('*' any run, '?' one character) without regard to case. "*.*" also
// matches names without an extension, as it does on Windows.
bool MatchesMask(std::string_view name, std::string_view mask) {
  if (mask == "*.*") return true;
  size_t n = 0, m = 0, starMask = std::string_view::npos, starName = 0;
  while (n < name.size()) {
    if (m < mask.size() &&
        (mask[m] == '?' || host::AnsiUpperChar(mask[m]) == host::AnsiUpperChar(name[n]))) {
      ++n;
      ++m;
    } else if (m < mask.size() && mask[m] == '*') {
      starMask = m++;
      starName = n;
    } else if (starMask != std::string_view::npos) {
      m = starMask + 1;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

std::string WithoutExtension(const std::string& name) {
  const std::string ext = host::ExtractFileExt(name);
  return name.substr(0, name.size() - ext.size());
}

}  // namespace

TFileRegistry::TFileRegistry(TEngineServices& engine) : FEngine(engine) {}

TFileRegistry::~TFileRegistry() {
  CloseAll();
}

std::unique_ptr<TBaseFile> TFileRegistry::NewBaseFile(const std::string& fileName, bool inMemory,
                                                      const TFileOpenArgs& args) {
  const TFileFlags flags{args.Exclusive, args.Temporary, args.Hidden};
  if (inMemory) return std::make_unique<TMemoryFile>(FEngine, fileName, flags);
  return std::make_unique<TPhysicalFile>(FEngine, fileName, flags);
}

bool TFileRegistry::FindUnlocked(const TFileList& list, const std::string& fileName,
                                 size_t& position) const {
  size_t low = 0, high = list.Files.size();
  while (low < high) {
    const size_t mid = low + (high - low) / 2;
    const int c = host::AnsiCompareText(list.Files[mid]->FileName(), fileName);
    if (c == 0) {
      position = mid;
      return true;
    }
    if (c < 0) {
      low = mid + 1;
    } else {
      high = mid;
    }
  }
  position = low;
  return false;
}

bool TFileRegistry::FindFile(const std::string& fileName, bool inMemory, size_t& position) {
  TFileList& list = List(inMemory);
  std::lock_guard guard(list.Section);
  return FindUnlocked(list, fileName, position);
}

int32_t TFileRegistry::OpenFile(const std::string& fileName, TFileOpenArgs& args) {
  TFileList& list = List(args.InMemory);
  std::lock_guard guard(list.Section);
  args.BaseFile = nullptr;
  size_t position = 0;
  if (FindUnlocked(list, fileName, position)) {
    TBaseFile* file = list.Files[position].get();
    if (file->UseCount() > 0) {
      if (file->Exclusive() || args.Exclusive) return kAccessDenied;
    } else {
      // A kept memory file takes the flags of its new first opener.
      file->SetFlags({args.Exclusive, args.Temporary, args.Hidden});
    }
    const int32_t handle = file->Open(args.ReadOnly);
    if (handle < 0) return handle;
    args.BaseFile = file;
    args.MarkedReadOnly = file->MarkedReadOnly();
    return handle;
  }
  if (args.InMemory) return kNotFound;
  std::unique_ptr<TBaseFile> file = NewBaseFile(fileName, false, args);
  const int32_t handle = file->Open(args.ReadOnly);
  if (handle < 0) return handle;
  args.BaseFile = file.get();
  args.MarkedReadOnly = file->MarkedReadOnly();
  list.Files.insert(list.Files.begin() + static_cast<ptrdiff_t>(position), std::move(file));
  return handle;
}

int32_t TFileRegistry::CreateFile(const std::string& fileName, TFileOpenArgs& args) {
  TFileList& list = List(args.InMemory);
  std::lock_guard guard(list.Section);
  args.BaseFile = nullptr;
  args.Exclusive = true;  // a file being created is never shared
  size_t position = 0;
  if (FindUnlocked(list, fileName, position)) {
    TBaseFile* file = list.Files[position].get();
    if (file->UseCount() > 0) return kAccessDenied;
    file->SetFlags({true, args.Temporary, args.Hidden});
    const int32_t handle = file->CreateNew(args.MustBeNew);
    if (handle < 0) return handle;
    args.BaseFile = file;
    args.ReadOnly = false;
    args.MarkedReadOnly = false;
    return handle;
  }
  std::unique_ptr<TBaseFile> file = NewBaseFile(fileName, args.InMemory, args);
  const int32_t handle = file->CreateNew(args.MustBeNew);
  if (handle < 0) return handle;
  args.BaseFile = file.get();
  args.ReadOnly = false;
  args.MarkedReadOnly = false;
  list.Files.insert(list.Files.begin() + static_cast<ptrdiff_t>(position), std::move(file));
  return handle;
}

int32_t TFileRegistry::CloseFile(TBaseFile* baseFile, bool inMemory, int32_t handle) {
  if (baseFile == nullptr) return kNotFound;
  TFileList& list = List(inMemory);
  std::lock_guard guard(list.Section);
  // Found by identity: the caller's pointer may be stale after the registry was emptied.
  const auto it = std::find_if(list.Files.begin(), list.Files.end(),
                               [baseFile](const auto& file) { return file.get() == baseFile; });
  if (it == list.Files.end() || baseFile->UseCount() == 0) return kNotFound;
  const size_t position = static_cast<size_t>(it - list.Files.begin());
  const int32_t result = baseFile->Close(handle);
  if (result < 0) return result;
  if (baseFile->UseCount() > 0) return 0;
  int32_t deleted = 0;
  if (baseFile->Temporary()) {
    deleted = baseFile->Delete();
  } else if (inMemory) {
    return 0;  // a memory file keeps its content for the next opener
  }
  list.Files.erase(list.Files.begin() + static_cast<ptrdiff_t>(position));
  return deleted < 0 ? deleted : 0;
}

int32_t TFileRegistry::RenameFile(const std::string& oldName, bool inMemory,
                                  const std::string& newName) {
  TFileList& list = List(inMemory);
  std::lock_guard guard(list.Section);
  size_t newPosition = 0;
  size_t position = 0;
  const bool registered = FindUnlocked(list, oldName, position);
  // Renaming a file onto its own name in another letter case is allowed.
  if (FindUnlocked(list, newName, newPosition) && !(registered && newPosition == position)) {
    return kAccessDenied;
  }
  if (!registered) {
    if (inMemory) return kNotFound;
    host::THostFiles& files = FEngine.HostFiles();
    const int result = files.Rename(files.Resolve(oldName), newName);
    return result < 0 ? -FEngine.OSError(-result) : 0;
  }
  TBaseFile* file = list.Files[position].get();
  if (file->UseCount() > 0) return kAccessDenied;
  const int32_t result = file->Rename(newName);
  if (result < 0) return result;
  std::unique_ptr<TBaseFile> owned = std::move(list.Files[position]);
  list.Files.erase(list.Files.begin() + static_cast<ptrdiff_t>(position));
  FindUnlocked(list, newName, newPosition);
  list.Files.insert(list.Files.begin() + static_cast<ptrdiff_t>(newPosition), std::move(owned));
  return 0;
}

int32_t TFileRegistry::DeleteFile(const std::string& fileName, bool inMemory) {
  TFileList& list = List(inMemory);
  std::lock_guard guard(list.Section);
  size_t position = 0;
  if (FindUnlocked(list, fileName, position)) {
    TBaseFile* file = list.Files[position].get();
    if (file->UseCount() > 0) return kAccessDenied;
    const int32_t result = file->Delete();
    if (result < 0) return result;
    list.Files.erase(list.Files.begin() + static_cast<ptrdiff_t>(position));
    return 0;
  }
  if (inMemory) return kNotFound;
  host::THostFiles& files = FEngine.HostFiles();
  const int result = files.Delete(files.Resolve(fileName));
  return result < 0 ? -FEngine.OSError(-result) : 0;
}

bool TFileRegistry::FileExists(const std::string& fileName, bool inMemory, bool /*hidden*/) {
  size_t position = 0;
  if (FindFile(fileName, inMemory, position)) return true;
  if (inMemory) return false;
  host::THostFiles& files = FEngine.HostFiles();
  const host::TFileAttributes attributes = files.Attributes(files.Resolve(fileName));
  return attributes.Exists && !attributes.IsDirectory;
}

void TFileRegistry::GetFileNames(bool inMemory, const std::string& mask, bool includePath,
                                 bool includeExtensions, std::vector<std::string>& list) {
  const std::string folder = host::ExtractFilePath(mask);
  const std::string nameMask = host::ExtractFileName(mask);
  auto add = [&](const std::string& folderOfName, const std::string& name) {
    std::string entry = includeExtensions ? name : WithoutExtension(name);
    list.push_back(includePath ? folderOfName + entry : entry);
  };
  if (inMemory) {
    TFileList& files = List(true);
    std::lock_guard guard(files.Section);
    for (const auto& file : files.Files) {
      const std::string& fullName = file->FileName();
      const std::string fileFolder = host::ExtractFilePath(fullName);
      const std::string name = host::ExtractFileName(fullName);
      if (host::AnsiSameText(fileFolder, folder) && MatchesMask(name, nameMask)) {
        add(fileFolder, name);
      }
    }
    return;
  }
  for (const std::string& name : FEngine.HostFiles().ListDirectory(folder)) {
    if (MatchesMask(name, nameMask)) add(folder, name);
  }
}

std::string TFileRegistry::GetTempFileName(const std::string& directory,
                                           const std::string& extension, bool hidden,
                                           bool inMemory) {
  std::string folder = host::TrimBlanks(directory);
  if (!folder.empty()) folder = host::IncludeTrailingDelimiter(folder);
  const std::string threadPart =
      std::to_string(std::llabs(static_cast<long long>(host::CurrentThreadId()))).substr(0, 5);
  for (int64_t counter = 0;; ++counter) {
    std::string name = folder + threadPart + std::to_string(counter) + extension;
    if (!FileExists(name, inMemory, hidden)) return name;
  }
}

void TFileRegistry::CloseList(TFileList& list) {
  std::lock_guard guard(list.Section);
  // Owned objects are freed back to front; a temporary file goes with its last handle.
  while (!list.Files.empty()) {
    std::unique_ptr<TBaseFile>& file = list.Files.back();
    if (file->Temporary()) file->Delete();
    list.Files.pop_back();
  }
}

void TFileRegistry::CloseAll() {
  CloseList(FPhysicalFileList);
  CloseList(FMemoryFileList);
}

size_t TFileRegistry::Count(bool inMemory) {
  TFileList& list = List(inMemory);
  std::lock_guard guard(list.Section);
  return list.Files.size();
}

}  // namespace cairn
