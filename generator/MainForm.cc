#include "generator/MainForm.h"

#include <iterator>

#include "cairn/error/EngineError.h"
#include "cairn/host/CodePage.h"
#include "cairn/host/System.h"
#include "generator/TableGenerator.h"
#include "generator/TableSchemas.h"

namespace kalvora {

using cairn::TCairnDatabase;
using cairn::TCairnTable;

std::string OpenFailureText(const cairn::ECairnEngineError& error) {
  return "Error occurred. \r\nError Code:" + std::to_string(error.ErrorCode()) +
         "\r\nError Message:" + cairn::host::AnsiToUtf8(error.ErrorMessage());
}

// The components are made as the form's stored description lists them: each is created, named
// and given its settings while loading, and all end loading together.
std::string DataDirectoryBeside(const std::string& executablePath) {
  return cairn::host::ExtractFilePath(executablePath) + "Data";
}

TMainForm::TMainForm(cairn::host::TApplication& application, std::string dataDirectory)
    : FApplication(application), FDataDirectory(std::move(dataDirectory)) {
  SetName("MainForm");

  FBtnGenerate = std::make_unique<TButton>(this);
  FBtnGenerate->SetName("btnGenerate");
  FBtnGenerate->SetCaption("Generate DB");
  FBtnGenerate->SetBounds(112, 72, 75, 25);

  FDbMain = std::make_unique<TCairnDatabase>(this);
  FDbMain->SetLoading(true);
  FDbMain->SetName("dbMain");
  FDbMain->SetDatabaseName("MainDB");
  FDbMain->SetSessionName("Default");

  FTblApptTemplates = NewTable("tblApptTemplates", "ApptTemplates");
  FTblContactCategory = NewTable("tblContactCategory", "ContactCategory");
  FTblContacts = NewTable("tblContacts", "Contacts");
  FTblEventCategory = NewTable("tblEventCategory", "EventCategory");
  FTblEventType = NewTable("tblEventType", "EventType");
  FTblImages = NewTable("tblImages", "Images");
  FTblWorkHours = NewTable("tblWorkHours", "WorkHours");
  FTblEvents = NewTable("tblEvents", "Events");
  FTblTasks = NewTable("tblTasks", "Tasks");
  FCairnTable1 = NewTable("CairnTable1", "Resources");
  FTblWorkHourOptions = NewTable("tblWorkHourOptions", "WorkHourOptions");
  FTblResources = NewTable("tblResources", "Resources");
  FTblPhotos = NewTable("tblPhotos", "Photos");
  FTblEventsArchi = NewTable("tblEventsArchi", "EventsArchi");

  FDbMain->Loaded();
  for (TCairnTable* table :
       {FTblApptTemplates.get(), FTblContactCategory.get(), FTblContacts.get(),
        FTblEventCategory.get(), FTblEventType.get(), FTblImages.get(), FTblWorkHours.get(),
        FTblEvents.get(), FTblTasks.get(), FCairnTable1.get(), FTblWorkHourOptions.get(),
        FTblResources.get(), FTblPhotos.get(), FTblEventsArchi.get()}) {
    table->Loaded();
  }
}

// The members go in reverse order: the tables first, then the database object.
TMainForm::~TMainForm() = default;

std::unique_ptr<TCairnTable> TMainForm::NewTable(const std::string& name,
                                                 const std::string& tableName) {
  auto table = std::make_unique<TCairnTable>(this);
  table->SetLoading(true);
  table->SetName(name);
  table->SetTableName(tableName);
  table->SetDatabaseName("MainDB");
  return table;
}

// ---- The run ------------------------------------------------------------------------------------

namespace {

struct TRunStep {
  std::unique_ptr<TCairnTable> TMainForm::*Table;
  void (TMainForm::*Generate)();
};

}  // namespace

void TMainForm::FormCreate(cairn::TComponent& /*sender*/) {
  // The fixed order of the run; each table is checked and, when missing, generated before the
  // next one is checked.
  static const TRunStep kRun[] = {
      {&TMainForm::FTblEventsArchi, &TMainForm::EventsArchiTBGen},
      {&TMainForm::FTblEvents, &TMainForm::EventsTBGen},
      {&TMainForm::FTblApptTemplates, &TMainForm::ApptTemplatesTBGen},
      {&TMainForm::FTblContactCategory, &TMainForm::ContactCategoryTBGen},
      {&TMainForm::FTblContacts, &TMainForm::ContactsTBGen},
      {&TMainForm::FTblEventCategory, &TMainForm::EventCategoryTBGen},
      {&TMainForm::FTblEventType, &TMainForm::EventTypeTBGen},
      {&TMainForm::FTblResources, &TMainForm::ResourcesTBGen},
      {&TMainForm::FTblTasks, &TMainForm::TasksTBGen},
      {&TMainForm::FTblWorkHourOptions, &TMainForm::WorkHourOptionsTBGen},
      {&TMainForm::FTblWorkHours, &TMainForm::WorkHoursTBGen},
      {&TMainForm::FTblPhotos, &TMainForm::PhotosTBGen},
  };
  OpenDB();
  for (const TRunStep& step : kRun) {
    if (!(this->*step.Table)->Exists()) (this->*step.Generate)();
  }
  Close();
  FApplication.Terminate();
}

void TMainForm::OpenDB() {
  if (FDbMain->Connected()) FDbMain->Close();
  // The directory is neither made nor checked here: a missing one opens read-only.
  FDbMain->SetDirectory(FDataDirectory);
  try {
    FDbMain->Open();
  } catch (const cairn::ECairnEngineError& error) {
    FApplication.Dialogs().Show("Error", OpenFailureText(error), cairn::host::TMsgDlgType::mtError,
                                cairn::host::mbOK);
  }
}

// ---- Generator operations -----------------------------------------------------------------------
//
// Each follows the shape of GenerateTable: the table is created only when it is missing.

void TMainForm::EventsArchiTBGen() {
  GenerateTable(*FTblEventsArchi, EventsArchiSchema());
}
void TMainForm::EventsTBGen() {
  GenerateTable(*FTblEvents, EventsSchema());
}
void TMainForm::ApptTemplatesTBGen() {
  GenerateTable(*FTblApptTemplates, ApptTemplatesSchema());
}
void TMainForm::ContactCategoryTBGen() {
  GenerateTable(*FTblContactCategory, ContactCategorySchema());
}
void TMainForm::ContactsTBGen() {
  GenerateTable(*FTblContacts, ContactsSchema());
}
void TMainForm::EventCategoryTBGen() {
  GenerateTable(*FTblEventCategory, EventCategorySchema());
}
void TMainForm::EventTypeTBGen() {
  GenerateTable(*FTblEventType, EventTypeSchema());
}
void TMainForm::ResourcesTBGen() {
  GenerateTable(*FTblResources, ResourcesSchema());
}
void TMainForm::TasksTBGen() {
  GenerateTable(*FTblTasks, TasksSchema());
}
void TMainForm::WorkHourOptionsTBGen() {
  GenerateTable(*FTblWorkHourOptions, WorkHourOptionsSchema());
}
void TMainForm::WorkHoursTBGen() {
  GenerateTable(*FTblWorkHours, WorkHoursSchema());
}
void TMainForm::PhotosTBGen() {
  GenerateTable(*FTblPhotos, PhotosSchema());
}

}  // namespace kalvora
