// kalvora-dbgen: makes sure the application's tables exist in the Data directory beside the
// executable.
//
// A run that completes prints nothing and exits 0. A failure is reported on standard error, as
// "kalvora-dbgen: <message>", and the process exits 1.
#include <string>

#include "cairn/access/CairnEngine.h"
#include "cairn/host/Dialogs.h"
#include "cairn/host/System.h"
#include "generator/GeneratorRun.h"
#include "generator/MainForm.h"

int main() {
  const std::string executablePath = cairn::host::ExecutablePath();
  int status;
  {
    cairn::host::TApplication application(executablePath);
    status = kalvora::RunGenerator(kalvora::DataDirectoryBeside(executablePath), application);
  }
  cairn::FinalizeComponentLayer();
  return status;
}
