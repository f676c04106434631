#include "tools/cairn/SchemaJson.h"

#include <array>
#include <string_view>
#include <vector>

#include "cairn/access/CairnTable.h"
#include "cairn/cursor/DataCursor.h"
#include "cairn/engine/data/DataHeader.h"
#include "cairn/host/CodePage.h"
#include "tools/cairn/ExitCodes.h"
#include "tools/cairn/ToolDatabase.h"

namespace cairn::tools {
namespace {

// Indexed by TFieldType.
constexpr std::array<std::string_view, ftSingle + 1> kFieldTypeNames = {
    "Unknown",    "String",          "Smallint",      "Integer",     "Word",         "Boolean",
    "Float",      "Currency",        "BCD",           "Date",        "Time",         "DateTime",
    "Bytes",      "VarBytes",        "AutoInc",       "Blob",        "Memo",         "Graphic",
    "FmtMemo",    "ParadoxOle",      "DBaseOle",      "TypedBinary", "Cursor",       "FixedChar",
    "WideString", "Largeint",        "ADT",           "Array",       "Reference",    "DataSet",
    "OraBlob",    "OraClob",         "Variant",       "Interface",   "IDispatch",    "Guid",
    "TimeStamp",  "FMTBcd",          "FixedWideChar", "WideMemo",    "OraTimeStamp", "OraInterval",
    "LongWord",   "Shortint",        "Byte",          "Extended",    "Connection",   "Params",
    "Stream",     "TimeStampOffset", "Object",        "Single"};

constexpr std::array<std::string_view, 3> kCharCaseNames = {"none", "lower", "upper"};
constexpr std::array<std::string_view, 6> kIndexOptionNames = {
    "primary", "unique", "descending", "caseInsensitive", "expression", "nonMaintained"};
constexpr std::array<std::string_view, 4> kCompressionNames = {"none", "duplicateByte",
                                                               "trailingByte", "full"};

// The position of a name in a list, letter case ignored; EToolError naming the choices otherwise.
template <size_t N>
size_t Lookup(const std::array<std::string_view, N>& names, const std::string& name,
              const std::string& where) {
  for (size_t i = 0; i < N; ++i)
    if (host::AnsiSameText(names[i], name)) return i;
  std::string choices;
  for (std::string_view n : names) choices += (choices.empty() ? "" : ", ") + std::string(n);
  throw EToolError(where + ": '" + name + "' is none of " + choices);
}

// Reads the members of one JSON object, refusing unknown keys and values of the wrong kind.
class TObjectReader {
 public:
  TObjectReader(const TJson& object, std::string where, std::vector<std::string_view> keys)
      : FObject(object), FWhere(std::move(where)) {
    if (!object.is_object()) throw EToolError(FWhere + ": an object is expected");
    for (const auto& item : object.items()) {
      bool known = false;
      for (std::string_view key : keys) known = known || key == item.key();
      if (!known) throw EToolError(FWhere + ": unknown key '" + item.key() + "'");
    }
  }

  std::string Text(const char* key, const std::string& fallback = {}) const {
    const TJson* value = Find(key);
    if (value == nullptr) return fallback;
    if (!value->is_string()) Wrong(key, "a string");
    return value->get<std::string>();
  }
  int64_t Integer(const char* key, int64_t fallback, int64_t minimum, int64_t maximum) const {
    const TJson* value = Find(key);
    if (value == nullptr) return fallback;
    if (!value->is_number_integer()) Wrong(key, "an integer");
    const int64_t number =
        value->is_number_unsigned()
            ? static_cast<int64_t>(std::min<uint64_t>(value->get<uint64_t>(), INT64_MAX))
            : value->get<int64_t>();
    if (number < minimum || number > maximum)
      Wrong(key, "an integer from " + std::to_string(minimum) + " to " + std::to_string(maximum));
    return number;
  }
  bool Boolean(const char* key, bool fallback) const {
    const TJson* value = Find(key);
    if (value == nullptr) return fallback;
    if (!value->is_boolean()) Wrong(key, "true or false");
    return value->get<bool>();
  }
  const TJson* Array(const char* key) const {
    const TJson* value = Find(key);
    if (value != nullptr && !value->is_array()) Wrong(key, "an array");
    return value;
  }
  std::string Where(const char* key) const { return FWhere + "." + key; }

 private:
  const TJson* Find(const char* key) const {
    const auto it = FObject.find(key);
    return it == FObject.end() ? nullptr : &*it;
  }
  [[noreturn]] void Wrong(const char* key, const std::string& expected) const {
    throw EToolError(Where(key) + ": " + expected + " is expected");
  }

  const TJson& FObject;
  std::string FWhere;
};

void ReadField(const TJson& object, const std::string& where, TCairnTable& table) {
  const TObjectReader field(object, where,
                            {"number", "name", "type", "size", "required", "default", "minimum",
                             "maximum", "description", "case", "compression"});
  const auto type = static_cast<TFieldType>(
      Lookup(kFieldTypeNames, field.Text("type", "Unknown"), field.Where("type")));
  const auto charCase = static_cast<TFieldCharCase>(
      Lookup(kCharCaseNames, field.Text("case", "none"), field.Where("case")));
  table.FieldDefs().Add(field.Text("name"), type,
                        static_cast<int32_t>(field.Integer("size", 0, 0, 65535)),
                        field.Boolean("required", false), field.Text("default"),
                        field.Text("minimum"), field.Text("maximum"), field.Text("description"),
                        charCase, static_cast<uint8_t>(field.Integer("compression", 0, 0, 9)));
}

void ReadIndex(const TJson& object, const std::string& where, TCairnTable& table) {
  const TObjectReader index(
      object, where,
      {"name", "fields", "options", "descFields", "compression", "noKeyStatistics", "keySize"});
  TIndexOptions options;
  if (const TJson* list = index.Array("options")) {
    for (size_t i = 0; i < list->size(); ++i) {
      const std::string at = index.Where("options") + "[" + std::to_string(i) + "]";
      if (!(*list)[i].is_string()) throw EToolError(at + ": a string is expected");
      options.Include(
          static_cast<TIndexOption>(Lookup(kIndexOptionNames, (*list)[i].get<std::string>(), at)));
    }
  }
  const auto compression = static_cast<TIndexCompression>(
      Lookup(kCompressionNames, index.Text("compression", "none"), index.Where("compression")));
  TCairnIndexDef& def = table.IndexDefs().Add(index.Text("name"), index.Text("fields"), options,
                                              index.Text("descFields"), compression);
  def.SetNoKeyStatistics(index.Boolean("noKeyStatistics", false));
}

}  // namespace

std::string FieldTypeName(TFieldType type) {
  return type < kFieldTypeNames.size() ? std::string(kFieldTypeNames[type]) : "Unknown";
}

std::string CharCaseName(TFieldCharCase charCase) {
  return charCase < kCharCaseNames.size() ? std::string(kCharCaseNames[charCase]) : "none";
}

std::string IndexOptionsText(TIndexOptions options) {
  std::string text;
  for (size_t i = 0; i < kIndexOptionNames.size(); ++i) {
    if (!options.Contains(static_cast<TIndexOption>(i))) continue;
    if (!text.empty()) text += ',';
    text += kIndexOptionNames[i];
  }
  return text;
}

std::string IndexCompressionName(TIndexCompression compression) {
  return compression < kCompressionNames.size() ? std::string(kCompressionNames[compression])
                                                : "none";
}

TTableSettings ReadTableSettings(const TCairnTable& openTable) {
  const TDataHeader& header = TableHeader(openTable);
  TTableSettings settings;
  settings.LocaleID = header.LocaleID;
  settings.UserMajorVersion = header.UserMajorVersion;
  settings.UserMinorVersion = header.UserMinorVersion;
  settings.Encrypted = header.Encrypted != 0;
  settings.Description = host::AnsiToUtf8(header.Description);
  settings.IndexPageSize = header.IndexPageSize;
  settings.BlobBlockSize = header.BlobBlockSize;
  return settings;
}

TJson SchemaToJson(TCairnTable& openTable) {
  const TTableSettings settings = ReadTableSettings(openTable);
  TJson schema;
  schema["table"] = openTable.TableName();
  schema["description"] = settings.Description;
  schema["locale"] = settings.LocaleID;
  schema["userMajorVersion"] = settings.UserMajorVersion;
  schema["userMinorVersion"] = settings.UserMinorVersion;
  schema["encrypted"] = settings.Encrypted;
  schema["indexPageSize"] = settings.IndexPageSize;
  schema["blobBlockSize"] = settings.BlobBlockSize;
  TJson fields = TJson::array();
  for (int i = 0; i < openTable.FieldDefs().Count(); ++i) {
    const TCairnFieldDef& def = openTable.FieldDefs().Items(i);
    fields.push_back({{"number", def.FieldNo()},
                      {"name", def.Name()},
                      {"type", FieldTypeName(def.DataType())},
                      {"size", def.Size()},
                      {"required", def.Required()},
                      {"default", def.DefaultValue()},
                      {"minimum", def.MinValue()},
                      {"maximum", def.MaxValue()},
                      {"description", def.Description()},
                      {"case", CharCaseName(def.CharCase())},
                      {"compression", def.Compression()}});
  }
  schema["fields"] = std::move(fields);
  TJson indexes = TJson::array();
  for (int i = 0; i < openTable.IndexDefs().Count(); ++i) {
    const TCairnIndexDef& def = openTable.IndexDefs().Items(i);
    TJson options = TJson::array();
    for (size_t o = 0; o < kIndexOptionNames.size(); ++o) {
      if (def.Options().Contains(static_cast<TIndexOption>(o)))
        options.push_back(std::string(kIndexOptionNames[o]));
    }
    indexes.push_back({{"name", def.Name()},
                       {"fields", def.Fields()},
                       {"options", std::move(options)},
                       {"descFields", def.DescFields()},
                       {"compression", IndexCompressionName(def.Compression())},
                       {"noKeyStatistics", def.NoKeyStatistics()},
                       {"keySize", openTable.Handle()->IndexDefinition(i).KeySize}});
  }
  schema["indexes"] = std::move(indexes);
  return schema;
}

TTableSettings SchemaFromJson(const TJson& schema, TCairnTable& table) {
  const TObjectReader top(schema, "schema",
                          {"table", "description", "locale", "userMajorVersion", "userMinorVersion",
                           "encrypted", "indexPageSize", "blobBlockSize", "fields", "indexes"});
  TTableSettings settings;
  settings.Description = top.Text("description");
  settings.LocaleID = static_cast<int32_t>(top.Integer("locale", 0, INT32_MIN, INT32_MAX));
  settings.UserMajorVersion = static_cast<uint16_t>(top.Integer("userMajorVersion", 1, 0, 65535));
  settings.UserMinorVersion = static_cast<uint16_t>(top.Integer("userMinorVersion", 0, 0, 65535));
  settings.Encrypted = top.Boolean("encrypted", false);
  // The engine checks the sizes; the range here only keeps them in an int32.
  settings.IndexPageSize =
      static_cast<int32_t>(top.Integer("indexPageSize", 4096, INT32_MIN, INT32_MAX));
  settings.BlobBlockSize =
      static_cast<int32_t>(top.Integer("blobBlockSize", 512, INT32_MIN, INT32_MAX));
  const TJson* fields = top.Array("fields");
  if (fields == nullptr || fields->empty()) throw EToolError("schema.fields: no fields");
  for (size_t i = 0; i < fields->size(); ++i)
    ReadField((*fields)[i], "schema.fields[" + std::to_string(i) + "]", table);
  if (const TJson* indexes = top.Array("indexes")) {
    for (size_t i = 0; i < indexes->size(); ++i)
      ReadIndex((*indexes)[i], "schema.indexes[" + std::to_string(i) + "]", table);
  }
  return settings;
}

}  // namespace cairn::tools
