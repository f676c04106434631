#include "cairn/check/TableFiles.h"

#include "cairn/engine/io/EngineServices.h"
#include "cairn/engine/table/TableDirectory.h"
#include "cairn/engine/table/TableSession.h"
#include "cairn/host/System.h"

namespace cairn {

TTableFiles::TTableFiles(TTableDirectory& directory, std::string tableName, bool exclusive)
    : FDirectory(directory),
      FTableName(std::move(tableName)),
      FExclusive(exclusive),
      FData(std::make_unique<TDataFile>(directory.Engine(), this)),
      FIndex(std::make_unique<TIndexFile>(directory.Engine(), this)),
      FBlob(std::make_unique<TBlobFile>(directory.Engine(), this)) {
  Prepare(*FData, DataPath());
  Prepare(*FIndex, IndexPath());
  Prepare(*FBlob, BlobPath());
}

TTableFiles::~TTableFiles() {
  Close();
}

TEngineServices& TTableFiles::Engine() const {
  return FDirectory.Engine();
}

std::string TTableFiles::DatabaseName() const {
  return FDirectory.ProperDataDirectoryName();
}

std::string TTableFiles::BaseName() const {
  const std::string extension = host::ExtractFileExt(FTableName);
  return FTableName.substr(0, FTableName.size() - extension.size());
}

std::string TTableFiles::FilePath(const std::string& extension) const {
  return Engine().TableFilePath(FDirectory.Directory(), FTableName, extension);
}

std::string TTableFiles::DataPath() const {
  return FilePath(Engine().Settings().DataExtension);
}

std::string TTableFiles::IndexPath() const {
  return FilePath(Engine().Settings().IndexExtension);
}

std::string TTableFiles::BlobPath() const {
  return FilePath(Engine().Settings().BlobExtension);
}

std::string TTableFiles::FileNameOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

void TTableFiles::Prepare(TBufferedFile& file, const std::string& path) {
  file.SetFileName(path);
  file.SetDatabaseName(DatabaseName());
  file.SetExclusive(FExclusive);
  file.SetReadOnly(!FExclusive);
  file.SetInMemory(FDirectory.InMemory());
}

bool TTableFiles::OpenData() {
  try {
    FData->OpenFile(&FDirectory.TableSession());
    return true;
  } catch (const ECairnEngineError& error) {
    FDataError = error;
    return false;
  }
}

bool TTableFiles::OpenIndex() {
  std::vector<TFieldDefinition> fields;
  for (int32_t pos = 1; pos <= FData->FieldCount(); ++pos) {
    fields.push_back(*FData->GetFieldDefinitionByPos(pos));
  }
  FIndex->SetFieldDefinitions(std::move(fields));
  FIndex->SetPageSize(FData->GetHeader().IndexPageSize);
  try {
    FIndex->OpenFile();
    return true;
  } catch (const ECairnEngineError& error) {
    FIndexError = error;
    return false;
  }
}

bool TTableFiles::OpenBlob() {
  try {
    FBlob->SetBlobBlockSize(FData->GetHeader().BlobBlockSize);
    FBlob->OpenFile();
    return true;
  } catch (const ECairnEngineError& error) {
    FBlobError = error;
    return false;
  }
}

void TTableFiles::Close() {
  // Closing gives back handles only; nothing cached is written (a verifier never dirties a
  // block, repair flushes before it closes).
  auto quietly = [](TBufferedFile& file) {
    try {
      file.CloseFile();
    } catch (const ECairnEngineError&) {
    }
  };
  quietly(*FIndex);
  quietly(*FBlob);
  quietly(*FData);
}

}  // namespace cairn
