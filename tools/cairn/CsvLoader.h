// Appends the rows of a CSV file to an open table.
//
// The header row names fields (any order, letter case ignored, a subset allowed: the others keep
// their defaults). Check reads and converts every row without writing anything, so a malformed
// file is refused whole; Write then reads the file again and appends the rows one by one. An
// engine error while writing stops there: the rows before it stay. A file read from a stream is
// read a chunk at a time in both passes, so its size costs no memory.
#pragma once

#include <cstdint>
#include <functional>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

#include "cairn/access/CairnValue.h"
#include "tools/cairn/CsvReader.h"
#include "tools/cairn/ValueText.h"

namespace cairn {
class TCairnTable;
}

namespace cairn::tools {

class TCsvLoader {
 public:
  // The table must be open and stay so; text is the whole file and must outlive the loader.
  // fileName names the file in messages.
  TCsvLoader(TCairnTable& table, std::string_view text, std::string fileName);
  // in must be seekable and outlive the loader: each pass reads it from where it stands now.
  TCsvLoader(TCairnTable& table, std::istream& in, std::string fileName);

  // Reads the header and converts every row. EToolError naming the line (and the field, for a
  // value) at the first fault. Texts longer than their fields are no fault: each one cut is
  // reported through warn. Answers the number of rows.
  int64_t Check(const std::function<void(const std::string&)>& warn);

  // Appends the rows (after a successful Check); progress is told the rows done so far. On an
  // engine error, or a fault in a file that changed since Check, EToolError naming the CSV line
  // and the rows stored before it; Written() tells how many those are.
  void Write(const std::function<void(int64_t)>& progress);
  int64_t Written() const { return FWritten; }

 private:
  struct TColumn {
    // Position of the field among the table's field objects.
    int Position;
    std::string FieldName;
    TFieldTarget Target;
  };

  // A reader at the start of the file.
  TCsvReader Reader();
  void ReadHeader(TCsvReader& reader, TCsvRecord& record);
  // Reads and converts the next row for Write; false at the end of the file.
  bool NextRow(TCsvReader& reader, TCsvRecord& record);
  // Converts a record's cells into FValues; cuts reports each text that is cut.
  void Convert(const TCsvRecord& record, const std::function<void(const std::string&)>* warn);
  std::string Where(int64_t line) const;
  // What a failure while writing adds: the rows that stay.
  std::string RowsThatStay(int64_t line) const;

  TCairnTable& FTable;
  std::string_view FText;
  std::istream* FIn = nullptr;
  std::streampos FStart;
  std::string FFileName;
  std::vector<TColumn> FColumns;
  // One value per field up to the last one the file names; unnamed ones stay unassigned.
  std::vector<TCairnValue> FValues;
  int64_t FWritten = 0;
};

}  // namespace cairn::tools
