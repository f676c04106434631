// kalvora-dbgen: makes sure the application's tables exist in the Data directory beside the
// executable.
//
// A run that completes prints nothing and exits 0. A failure is reported on standard error, as
// "kalvora-dbgen: <message>", and the process exits 1.
#include <exception>
#include <memory>
#include <string>

#include "cairn/access/CairnEngine.h"
#include "cairn/host/Dialogs.h"
#include "cairn/host/System.h"
#include "generator/MainForm.h"

namespace {

int Run() {
  const std::string executablePath = cairn::host::ExecutablePath();
  cairn::host::TApplication application(executablePath);
  std::unique_ptr<kalvora::TMainForm> form;
  try {
    form = std::make_unique<kalvora::TMainForm>(application, executablePath);
    form->FormCreate(*form);
  } catch (const std::exception& error) {
    // The form would stay open until the user closes it; without a window that is at once.
    application.ShowException(error);
    return 1;
  }
  return application.Terminated() ? 0 : 1;
}

}  // namespace

int main() {
  const int status = Run();
  cairn::FinalizeComponentLayer();
  return status;
}
