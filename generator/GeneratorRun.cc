#include "generator/GeneratorRun.h"

#include <exception>

#include "generator/MainForm.h"

namespace kalvora {

int RunGenerator(const std::string& dataDirectory, cairn::host::TApplication& application) {
  try {
    // The form goes before the report: its database and tables are closed by then.
    TMainForm form(application, dataDirectory);
    form.FormCreate(form);
  } catch (const std::exception& error) {
    // The form would stay open until the user closed it; without a window that is at once.
    application.ShowException(error);
    return 1;
  }
  return 0;
}

}  // namespace kalvora
