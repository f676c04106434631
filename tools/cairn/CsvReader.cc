#include "tools/cairn/CsvReader.h"

namespace cairn::tools {

TCsvReader::TCsvReader(std::string_view text) : FText(text) {
  if (FText.substr(0, 3) == "\xEF\xBB\xBF") FPos = 3;
}

bool TCsvReader::AtLineEnd() const {
  return FText[FPos] == '\n' ||
         (FText[FPos] == '\r' && FPos + 1 < FText.size() && FText[FPos + 1] == '\n');
}

void TCsvReader::SkipLineEnd() {
  FPos += FText[FPos] == '\r' ? 2 : 1;
  ++FLine;
}

bool TCsvReader::Next(TCsvRecord& record) {
  while (FPos < FText.size() && AtLineEnd()) SkipLineEnd();
  if (FPos >= FText.size()) return false;
  record.Line = FLine;
  size_t count = 0;
  for (;;) {
    if (record.Fields.size() <= count) record.Fields.emplace_back();
    std::string& field = record.Fields[count++];
    field.clear();
    if (FPos < FText.size() && FText[FPos] == '"') {
      ReadQuoted(field, record.Line);
    } else {
      const size_t start = FPos;
      while (FPos < FText.size() && FText[FPos] != ',' && !AtLineEnd()) ++FPos;
      field.assign(FText.substr(start, FPos - start));
    }
    if (FPos >= FText.size()) break;
    if (FText[FPos] == ',') {
      ++FPos;
      continue;
    }
    if (AtLineEnd()) {
      SkipLineEnd();
      break;
    }
    throw ECsvError("line " + std::to_string(FLine) + ", field " + std::to_string(count) +
                    ": a character follows the closing quote");
  }
  record.Fields.resize(count);
  return true;
}

void TCsvReader::ReadQuoted(std::string& field, int64_t recordLine) {
  const int64_t openedOn = FLine;
  ++FPos;
  for (;;) {
    const size_t quote = FText.find('"', FPos);
    if (quote == std::string_view::npos) {
      throw ECsvError("line " + std::to_string(openedOn) +
                      ": a quoted field is not closed before the end of the file" +
                      (openedOn != recordLine
                           ? " (the record starts on line " + std::to_string(recordLine) + ")"
                           : std::string()));
    }
    for (size_t i = FPos; i < quote; ++i) FLine += FText[i] == '\n';
    field.append(FText.substr(FPos, quote - FPos));
    FPos = quote + 1;
    if (FPos < FText.size() && FText[FPos] == '"') {
      field += '"';
      ++FPos;
      continue;
    }
    return;
  }
}

}  // namespace cairn::tools
