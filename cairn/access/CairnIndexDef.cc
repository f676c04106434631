#include "cairn/access/CairnIndexDef.h"

#include "cairn/access/CairnIndexDefs.h"

namespace cairn {

TCairnIndexDef::TCairnIndexDef(TCairnIndexDefs& owner) : TNamedDef(owner) {}

TCairnIndexDef& TCairnIndexDef::Create(TCairnIndexDefs& owner, const std::string& name,
                                       const std::string& fields, TIndexOptions options,
                                       const std::string& descFields, TIndexCompression compression,
                                       bool noKeyStats) {
  return owner.BuildItem(owner.Count(), owner.NewDef(), [&](TCairnIndexDef& def) {
    def.SetName(name);
    def.FFields = fields;
    def.FOptions = options;
    def.FDescFields = descFields;
    def.FCompression = compression;
    def.FNoKeyStatistics = noKeyStats;
  });
}

std::string TCairnIndexDef::DisplayName() const {
  return Name().empty() ? "<Primary>" : Name();
}

std::string TCairnIndexDef::Fields() const {
  return FOptions.Contains(ixExpression) ? std::string() : FFields;
}

void TCairnIndexDef::SetFields(const std::string& fields) {
  if (fields == FFields && !FOptions.Contains(ixExpression)) return;
  FOptions.Exclude(ixExpression);
  FFields = fields;
  Changed();
}

void TCairnIndexDef::SetOptions(TIndexOptions options) {
  if (options == FOptions) return;
  FOptions = options;
  if (FOptions.Contains(ixDescending) && FDescFields.empty()) FDescFields = Fields();
  Changed();
}

void TCairnIndexDef::SetDescFields(const std::string& descFields) {
  if (descFields == FDescFields) return;
  if (!descFields.empty()) FOptions.Include(ixDescending);
  FDescFields = descFields;
  Changed();
}

void TCairnIndexDef::SetCompression(TIndexCompression compression) {
  if (compression == FCompression) return;
  FCompression = compression;
  Changed();
}

void TCairnIndexDef::SetNoKeyStatistics(bool noKeyStatistics) {
  if (noKeyStatistics == FNoKeyStatistics) return;
  FNoKeyStatistics = noKeyStatistics;
  Changed();
}

void TCairnIndexDef::Assign(const TCairnIndexDef& source) {
  if (&source == this) return;
  auto& list = static_cast<TCairnIndexDefs&>(Collection());
  list.InUpdate([&] {
    // The name is the only step that can fail; it goes first so a failure changes nothing.
    SetName(source.Name());
    FFields = source.FFields;
    FOptions = source.FOptions;
    FDescFields = source.FDescFields;
    FCompression = source.FCompression;
    FNoKeyStatistics = source.FNoKeyStatistics;
    Changed();
  });
}

}  // namespace cairn
