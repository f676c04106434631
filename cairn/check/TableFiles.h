// The three files of one table, opened outside any directory's open-table list: read-only and
// shared for the verifier, exclusively for repair.
//
// The files are opened one by one so that a damaged one does not hide the others: the data file
// first (its header carries the index page size and the blob block size), then the index file and
// the blob file. Nothing here re-creates a missing file or writes a header; a file that fails to
// open is left closed and its error kept for the caller.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "cairn/engine/blob/BlobFile.h"
#include "cairn/engine/data/DataFile.h"
#include "cairn/engine/index/IndexFile.h"
#include "cairn/engine/io/BufferedFileOwner.h"
#include "cairn/error/EngineError.h"

namespace cairn {

class TTableDirectory;

class TTableFiles : public TBufferedFileOwner {
 public:
  // tableName is the engine table name ("Events.dat").
  TTableFiles(TTableDirectory& directory, std::string tableName, bool exclusive);
  ~TTableFiles() override;
  TTableFiles(const TTableFiles&) = delete;
  TTableFiles& operator=(const TTableFiles&) = delete;

  // Opens the data file; false (the error kept in DataError) when it cannot be opened or read.
  bool OpenData();
  // Opens the index file with the data file's page size and fields; false as above.
  bool OpenIndex();
  // Opens the blob file with the data file's block size; false as above. Only for a table with
  // blob fields.
  bool OpenBlob();
  void Close();

  TDataFile& Data() const { return *FData; }
  TIndexFile& Index() const { return *FIndex; }
  TBlobFile& Blob() const { return *FBlob; }
  const std::optional<ECairnEngineError>& DataError() const { return FDataError; }
  const std::optional<ECairnEngineError>& IndexError() const { return FIndexError; }
  const std::optional<ECairnEngineError>& BlobError() const { return FBlobError; }

  TTableDirectory& Directory() const { return FDirectory; }
  TEngineServices& Engine() const;
  const std::string& TableName() const { return FTableName; }
  // "Events" for "Events.dat".
  std::string BaseName() const;
  std::string FilePath(const std::string& extension) const;
  std::string DataPath() const;
  std::string IndexPath() const;
  std::string BlobPath() const;
  // The file-name part of a path.
  static std::string FileNameOf(const std::string& path);

  // ---- TBufferedFileOwner ---------------------------------------------------------------------
  std::string ProperTableName() const override { return FTableName; }
  std::string DatabaseName() const override;
  void MarkWrittenTo() override { FWrittenTo = true; }
  bool WrittenTo() const override { return FWrittenTo; }
  bool InTransaction() const override { return false; }
  bool ForceBufferFlush() const override { return false; }
  bool StrictChangeDetection() const override { return true; }
  bool MarkedReadOnly() const override { return !FExclusive; }
  bool ReadLockForMiss() override { return false; }
  const TCipher* Cipher() const override { return FData->TableKey(); }

 private:
  void Prepare(TBufferedFile& file, const std::string& path);

  TTableDirectory& FDirectory;
  std::string FTableName;
  bool FExclusive;
  bool FWrittenTo = false;
  std::unique_ptr<TDataFile> FData;
  std::unique_ptr<TIndexFile> FIndex;
  std::unique_ptr<TBlobFile> FBlob;
  std::optional<ECairnEngineError> FDataError;
  std::optional<ECairnEngineError> FIndexError;
  std::optional<ECairnEngineError> FBlobError;
};

}  // namespace cairn
