// The table object: names one table of a database directory, answers whether it exists, creates
// it from its field and index definitions, and opens and closes it.
//
// It does no storage work itself: existence is asked of the database directory, creation and
// opening are handed to an engine cursor. Table names are UTF-8 here and 8-bit in the engine.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cairn/access/CairnDBDataSet.h"
#include "cairn/access/CairnFieldDefs.h"
#include "cairn/access/CairnIndexDefs.h"

namespace cairn {

class TDataDirectory;
struct TIndexDefinition;
struct TTableCreateParams;

class TCairnTable : public TCairnDBDataSet {
 public:
  explicit TCairnTable(TComponent* owner = nullptr);
  // Closes the table first.
  ~TCairnTable() override;

  // ---- Naming ---------------------------------------------------------------------------------
  const std::string& TableName() const { return FTableName; }
  // While loading the name is stored as given. Otherwise an unchanged name does nothing; the
  // table must be closed; a name with a path (":" or "/") puts its path part, up to and with the
  // last delimiter, into DatabaseName and keeps the file-name part.
  void SetTableName(const std::string& value);
  // Always "4.00 Build 1"; writes are ignored.
  std::string EngineVersion() const;
  void SetEngineVersion(const std::string&) {}

  // ---- Open mode --------------------------------------------------------------------------------
  // A change needs a closed table; writing the current value never fails.
  bool Exclusive() const { return FExclusive; }
  void SetExclusive(bool value);
  // After Open, true also when the engine forced the table read-only.
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool value);
  // The index the open cursor uses; empty for the primary index. Given to the cursor at once
  // while the table is open.
  const std::string& IndexName() const { return FIndexName; }
  void SetIndexName(const std::string& value);
  // The index by its key fields instead of its name ("Name;Date", letter case and blanks around
  // names ignored); empty for the primary index. The first index of exactly those fields, in
  // that order, is taken; none fails with "<Name>: No index for fields '%s'". An open table
  // changes its index at once and moves to the first record.
  std::string IndexFieldNames() const { return FFieldsIndex ? FIndexName : std::string(); }
  void SetIndexFieldNames(const std::string& value);

  // ---- Structure --------------------------------------------------------------------------------
  TCairnFieldDefs& FieldDefs() { return *FFieldDefs; }
  TCairnIndexDefs& IndexDefs() { return *FIndexDefs; }
  // Whether the user changed the definitions (the table object's own reading does not count).
  bool StoreDefs() const { return FStoreDefs; }

  // ---- Operations -------------------------------------------------------------------------------
  // True for an open table, without asking the engine; false for an empty TableName, without
  // acquiring the database; otherwise whether the directory has the table open or its data file.
  bool Exists();

  // Creates the table from FieldDefs and IndexDefs through an exclusive engine cursor; the table
  // object stays closed. Every field definition's FieldNo becomes its position + 1 and a primary
  // index definition moves to the front of IndexDefs; both changes stay, whatever the outcome.
  // textIndexStopWords null means the engine's default stop words; empty character sets the
  // engine's default sets.
  void CreateTable(int32_t newLocaleID, uint16_t newUserMajorVersion, uint16_t newUserMinorVersion,
                   bool newEncrypted, const std::string& newPassword,
                   const std::string& newDescription, int32_t newIndexPageSize,
                   int32_t newBlobBlockSize, int32_t newLastAutoIncValue,
                   const std::string& newTextIndexFields,
                   const std::vector<std::string>* newTextIndexStopWords,
                   const std::string& newTextIndexSpaceChars,
                   const std::string& newTextIndexIncludeChars);

  // Deletes the closed table's files: the data file first (after it the table no longer exists),
  // then the index and blob files where present. The table must not be open in this process
  // (11013 otherwise, as for a read-only directory); a file that cannot be deleted fails with the
  // engine code of its error, leaving the files after it in place.
  void DeleteTable();

 protected:
  std::unique_ptr<TDataCursor> CreateHandle() override;
  void InternalInitFieldDefs() override;
  void InternalReadIndexInfo() override;

 private:
  // Sets a flag for a scope.
  class TFlagScope {
   public:
    explicit TFlagScope(bool& flag) : FFlag(flag) { FFlag = true; }
    ~TFlagScope() { FFlag = false; }
    TFlagScope(const TFlagScope&) = delete;
    TFlagScope& operator=(const TFlagScope&) = delete;

   private:
    bool& FFlag;
  };

  // The database directory of the acquired database.
  TDataDirectory& DatabaseDirectory() const;
  void DefinitionsChanged();
  // Refreshes a list from the open table; a closed table keeps what the lists hold.
  void UpdateFieldDefs();
  void UpdateIndexDefs();

  // CreateTable's steps.
  void FillFieldDefsFromGeneric();
  void NumberFields(TTableCreateParams& params);
  void MovePrimaryIndexFirst();
  void FillIndexDescriptors(TTableCreateParams& params, const std::string& textIndexFields);
  // The descriptor of an index from its parts; unknown field names fail with
  // "<Name>: Field '%s' not found".
  TIndexDefinition IndexDescriptor(const std::string& name, const std::string& fields,
                                   TIndexOptions options, const std::string& descFields,
                                   TIndexCompression compression, bool noKeyStatistics) const;
  uint16_t KeyFieldNumber(const std::string& fieldName) const;
  // Gives the cursor the index IndexName or IndexFieldNames names.
  void ApplyIndex(TDataCursor& cursor) const;
  // The name of a key field of the open table.
  std::string KeyFieldName(uint16_t fieldNum) const;

  bool FStoreDefs = false;
  bool FAddingTableDef = false;
  bool FClearingTableDef = false;
  std::unique_ptr<TCairnFieldDefs> FFieldDefs;
  std::unique_ptr<TCairnIndexDefs> FIndexDefs;
  // The master/detail link: its source and fields. Only held so far; following a master
  // dataset comes with navigation.
  struct TMasterLink {
    TComponent* DataSource = nullptr;
    std::string Fields;
  };
  std::unique_ptr<TMasterLink> FMasterLink;
  bool FExclusive = false;
  bool FReadOnly = false;
  // FIndexName holds field names rather than an index name (IndexFieldNames).
  bool FFieldsIndex = false;
  std::string FTableName;
  std::string FIndexName;
  // Scratch list for reading text-index stop words (the table properties read through a
  // temporary cursor come later).
  std::unique_ptr<std::vector<std::string>> FTempStopWords;
  // The master link saved while a maintenance operation runs.
  TComponent* FSaveMasterSource = nullptr;
  std::string FSaveMasterFields;
};

}  // namespace cairn
