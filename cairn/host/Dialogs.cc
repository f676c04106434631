#include "cairn/host/Dialogs.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <cstdio>

#include "cairn/host/System.h"

namespace cairn::host {

namespace {

// The executable's file name up to its first full stop, every letter after the first in lower
// case. The path is UTF-8; bytes that are not well-formed UTF-8 are kept as they are.
std::string TitleFromPath(const std::string& executablePath) {
  std::string name = ExtractFileName(executablePath);
  name = name.substr(0, name.find('.'));
  std::string title;
  const auto* s = reinterpret_cast<const uint8_t*>(name.data());
  int32_t length = static_cast<int32_t>(name.size());
  for (int32_t i = 0; i < length;) {
    int32_t start = i;
    UChar32 c;
    U8_NEXT(s, i, length, c);
    if (c < 0 || start == 0) {
      title.append(name, start, i - start);
      continue;
    }
    uint8_t encoded[U8_MAX_LENGTH];
    int32_t n = 0;
    U8_APPEND_UNSAFE(encoded, n, u_tolower(c));
    title.append(reinterpret_cast<const char*>(encoded), n);
  }
  return title;
}

}  // namespace

int TConsoleDialogs::Show(const std::string& caption, const std::string& text, TMsgDlgType,
                          unsigned) {
  std::string line = caption + ": " + text + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
  return mrOk;
}

int TRecordingDialogs::Show(const std::string& caption, const std::string& text, TMsgDlgType type,
                            unsigned buttons) {
  FRecords.push_back(TDialogRecord{caption, text, type, buttons});
  return mrOk;
}

TApplication::TApplication(const std::string& executablePath,
                           std::unique_ptr<TMessageDialogs> dialogs)
    : FTitle(TitleFromPath(executablePath)),
      FDialogs(dialogs ? std::move(dialogs) : std::make_unique<TConsoleDialogs>()) {}

void TApplication::ShowException(const std::exception& error) {
  FDialogs->Show(FTitle, ReportText(error.what()), TMsgDlgType::mtError, mbOK);
}

std::string TApplication::ReportText(const std::string& message) {
  // The comparison is by byte: a message ending in a letter, digit or any character above the
  // full stop gets one; one ending in a blank, '!', ')' or the full stop itself does not.
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
  return message;
}

}  // namespace cairn::host
