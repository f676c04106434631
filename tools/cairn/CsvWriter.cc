#include "tools/cairn/CsvWriter.h"

namespace cairn::tools {
namespace {

bool NeedsQuotes(const std::string& field) {
  return field.find_first_of(",\"\r\n") != std::string::npos ||
         (!field.empty() && (field.front() == ' ' || field.back() == ' '));
}

}  // namespace

void TCsvWriter::Write(const std::vector<std::string>& fields) {
  FLine.clear();
  // A record of one empty field would be an empty line, which readers skip.
  if (fields.size() == 1 && fields[0].empty()) FLine += "\"\"";
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) FLine += ',';
    const std::string& field = fields[i];
    if (!NeedsQuotes(field)) {
      FLine += field;
      continue;
    }
    FLine += '"';
    for (char c : field) {
      if (c == '"') FLine += '"';
      FLine += c;
    }
    FLine += '"';
  }
  FLine += "\r\n";
  std::fwrite(FLine.data(), 1, FLine.size(), FOut);
}

}  // namespace cairn::tools
