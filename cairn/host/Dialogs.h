// The application object and the modal message dialog.
//
// The program has no window on this host. A dialog goes to a TMessageDialogs implementation:
// the console one writes "caption: text" to standard error and answers as if OK had been pressed;
// the recording one keeps every dialog for tests.
#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace cairn::host {

enum class TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

// Button set; a dialog names one or more.
enum TMsgDlgBtn : unsigned {
  mbYes = 1u << 0,
  mbNo = 1u << 1,
  mbOK = 1u << 2,
  mbCancel = 1u << 3,
  mbAbort = 1u << 4,
  mbRetry = 1u << 5,
  mbIgnore = 1u << 6,
};

// Modal results.
constexpr int mrOk = 1;

class TMessageDialogs {
 public:
  virtual ~TMessageDialogs() = default;
  // Shows a modal dialog and returns the modal result of the button pressed.
  virtual int Show(const std::string& caption, const std::string& text, TMsgDlgType type,
                   unsigned buttons) = 0;
};

class TConsoleDialogs : public TMessageDialogs {
 public:
  int Show(const std::string& caption, const std::string& text, TMsgDlgType type,
           unsigned buttons) override;
};

struct TDialogRecord {
  std::string Caption;
  std::string Text;
  TMsgDlgType Type = TMsgDlgType::mtCustom;
  unsigned Buttons = 0;
};

class TRecordingDialogs : public TMessageDialogs {
 public:
  int Show(const std::string& caption, const std::string& text, TMsgDlgType type,
           unsigned buttons) override;
  const std::vector<TDialogRecord>& Records() const { return FRecords; }

 private:
  std::vector<TDialogRecord> FRecords;
};

// The application object: its title, the dialogs it shows, the standard error report, and the
// termination request of a one-shot run.
class TApplication {
 public:
  // The title is the executable's file name without its folder, cut at its first full stop,
  // every letter after the first in lower case.
  explicit TApplication(const std::string& executablePath,
                        std::unique_ptr<TMessageDialogs> dialogs = nullptr);

  const std::string& Title() const { return FTitle; }
  TMessageDialogs& Dialogs() { return *FDialogs; }

  // The standard error report: an error dialog captioned with the title, showing the message
  // with a full stop appended when its last character sorts after the full stop.
  void ShowException(const std::exception& error);
  static std::string ReportText(const std::string& message);

  void Terminate() { FTerminated = true; }
  bool Terminated() const { return FTerminated; }

 private:
  std::string FTitle;
  std::unique_ptr<TMessageDialogs> FDialogs;
  bool FTerminated = false;
};

}  // namespace cairn::host
