// One index of a table's structure: its fields, options and key compression.
#pragma once

#include <string>

#include "cairn/access/DefCollection.h"
#include "cairn/access/FieldTypes.h"

namespace cairn {

class TCairnIndexDefs;

class TCairnIndexDef : public TNamedDef {
 public:
  // Builds a definition directly at the end of a list and stores everything exactly as given,
  // without the adjustments Add makes. A duplicate name fails with "Duplicate name '%s' in %s"
  // and the definition leaves the list again.
  static TCairnIndexDef& Create(TCairnIndexDefs& owner, const std::string& name,
                                const std::string& fields, TIndexOptions options,
                                const std::string& descFields, TIndexCompression compression,
                                bool noKeyStats);

  // "<Primary>" for the primary index, which has no name.
  std::string DisplayName() const;

  // The indexed fields in key order, separated by ";"; empty while ixExpression is set.
  std::string Fields() const;
  // Stores the list and clears ixExpression.
  void SetFields(const std::string& fields);
  // The stored text behind Fields.
  const std::string& FieldExpression() const { return FFields; }

  TIndexOptions Options() const { return FOptions; }
  // With ixDescending and no DescFields, every field sorts descending (DescFields = Fields).
  void SetOptions(TIndexOptions options);
  // The subset of Fields that sorts descending; a non-empty value adds ixDescending.
  const std::string& DescFields() const { return FDescFields; }
  void SetDescFields(const std::string& descFields);

  TIndexCompression Compression() const { return FCompression; }
  void SetCompression(TIndexCompression compression);
  bool NoKeyStatistics() const { return FNoKeyStatistics; }
  void SetNoKeyStatistics(bool noKeyStatistics);

  // Copies every property of another definition, inside one update of the list. Fails, changing
  // nothing, when the source's name belongs to another item of this list.
  void Assign(const TCairnIndexDef& source);

 private:
  friend class TCairnIndexDefs;
  explicit TCairnIndexDef(TCairnIndexDefs& owner);

  std::string FFields;
  TIndexOptions FOptions;
  std::string FDescFields;
  TIndexCompression FCompression = icNone;
  bool FNoKeyStatistics = false;
};

}  // namespace cairn
