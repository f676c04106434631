#include "tools/cairn/CsvReader.h"

#include <algorithm>

namespace cairn::tools {

namespace {
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
}

TCsvReader::TCsvReader(std::string_view text) : FText(text) {
  if (FText.starts_with(kByteOrderMark)) FPos = kByteOrderMark.size();
}

TCsvReader::TCsvReader(std::istream& in, size_t chunk)
    : FIn(&in), FChunk(std::max<size_t>(chunk, 1)) {
  if (Have(kByteOrderMark.size()) && FText.substr(FPos).starts_with(kByteOrderMark))
    FPos += kByteOrderMark.size();
}

bool TCsvReader::Refill(size_t count) {
  if (FIn == nullptr || FEnded) return false;
  // What was read is in the records already: only the bytes from FPos on are kept.
  FWindow.erase(0, FPos);
  FPos = 0;
  while (FWindow.size() < count && !FEnded) {
    const size_t had = FWindow.size();
    FWindow.resize(had + FChunk);
    FIn->read(FWindow.data() + had, static_cast<std::streamsize>(FChunk));
    const auto got = static_cast<size_t>(FIn->gcount());
    FWindow.resize(had + got);
    if (got < FChunk) {
      if (FIn->bad())
        throw ECsvError("line " + std::to_string(FLine) + ": the file cannot be read further");
      FEnded = true;
    }
  }
  FText = FWindow;
  return count <= FText.size();
}

size_t TCsvReader::LineEndAt() {
  if (FText[FPos] == '\n') return 1;
  return FText[FPos] == '\r' && Have(2) && FText[FPos + 1] == '\n' ? 2 : 0;
}

bool TCsvReader::Next(TCsvRecord& record) {
  for (;;) {
    if (!Have(1)) return false;
    const size_t lineEnd = LineEndAt();
    if (lineEnd == 0) break;
    FPos += lineEnd;
    ++FLine;
  }
  record.Line = FLine;
  size_t count = 0;
  for (;;) {
    if (record.Fields.size() <= count) record.Fields.emplace_back();
    std::string& field = record.Fields[count++];
    field.clear();
    if (Have(1) && FText[FPos] == '"') {
      ReadQuoted(field, record.Line);
    } else {
      ReadPlain(field);
    }
    if (!Have(1)) break;
    if (FText[FPos] == ',') {
      ++FPos;
      continue;
    }
    if (const size_t lineEnd = LineEndAt(); lineEnd != 0) {
      FPos += lineEnd;
      ++FLine;
      break;
    }
    throw ECsvError("line " + std::to_string(FLine) + ", field " + std::to_string(count) +
                    ": a character follows the closing quote");
  }
  record.Fields.resize(count);
  return true;
}

void TCsvReader::ReadPlain(std::string& field) {
  for (;;) {
    const char* text = FText.data();
    size_t end = FPos;
    while (end < FText.size() && text[end] != ',' && text[end] != '\n' && text[end] != '\r') ++end;
    field.append(text + FPos, end - FPos);
    FPos = end;
    if (end == FText.size()) {
      if (!Have(1)) return;
      continue;
    }
    if (text[end] != '\r' || LineEndAt() != 0) return;
    // A CR not followed by LF is text.
    field += '\r';
    ++FPos;
  }
}

void TCsvReader::ReadQuoted(std::string& field, int64_t recordLine) {
  const int64_t openedOn = FLine;
  ++FPos;
  for (;;) {
    const size_t quote = std::min(FText.find('"', FPos), FText.size());
    const std::string_view part = FText.substr(FPos, quote - FPos);
    FLine += std::count(part.begin(), part.end(), '\n');
    field.append(part);
    FPos = quote;
    if (quote == FText.size()) {
      if (Have(1)) continue;
      throw ECsvError("line " + std::to_string(openedOn) +
                      ": a quoted field is not closed before the end of the file" +
                      (openedOn != recordLine
                           ? " (the record starts on line " + std::to_string(recordLine) + ")"
                           : std::string()));
    }
    ++FPos;
    if (Have(1) && FText[FPos] == '"') {
      field += '"';
      ++FPos;
      continue;
    }
    return;
  }
}

}  // namespace cairn::tools
