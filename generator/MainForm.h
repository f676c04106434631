// The generator's form. Its creation handler is the whole run: open the data directory (the Data
// folder beside the executable, for the program), create each of the twelve tables that is
// missing, in a fixed order, then close the form and have the application terminate.
//
// Only the engine error of opening the database is caught (and shown); every other failure leaves
// FormCreate for the application's standard error report, with the remaining tables unchecked.
#pragma once

#include <memory>
#include <string>

#include "cairn/access/CairnDatabase.h"
#include "cairn/access/CairnTable.h"
#include "cairn/access/Component.h"
#include "cairn/host/Dialogs.h"
#include "generator/Button.h"

namespace cairn {
class ECairnEngineError;
}

namespace kalvora {

// The text of the dialog that reports a failed open of the database: three lines, "Error
// occurred. ", "Error Code:<code>" and "Error Message:<message>".
std::string OpenFailureText(const cairn::ECairnEngineError& error);

// The program's data directory: the folder of the executable followed by "Data".
std::string DataDirectoryBeside(const std::string& executablePath);

class TMainForm : public cairn::TComponent {
 public:
  // Creates the components with their settings; nothing is opened. The tables are looked for in
  // dataDirectory, which is neither made nor checked.
  TMainForm(cairn::host::TApplication& application, std::string dataDirectory);
  ~TMainForm() override;

  const std::string& Caption() const { return FCaption; }
  int ClientWidth() const { return FClientWidth; }
  int ClientHeight() const { return FClientHeight; }
  bool Closed() const { return FClosed; }
  void Close() { FClosed = true; }

  // The run; sender is ignored.
  void FormCreate(cairn::TComponent& sender);
  void OpenDB();

  void EventsArchiTBGen();
  void EventsTBGen();
  void ApptTemplatesTBGen();
  void ContactCategoryTBGen();
  void ContactsTBGen();
  void EventCategoryTBGen();
  void EventTypeTBGen();
  void ResourcesTBGen();
  void TasksTBGen();
  void WorkHourOptionsTBGen();
  void WorkHoursTBGen();
  void PhotosTBGen();

  // The components, in creation order.
  TButton& btnGenerate() const { return *FBtnGenerate; }
  cairn::TCairnDatabase& dbMain() const { return *FDbMain; }
  cairn::TCairnTable& tblApptTemplates() const { return *FTblApptTemplates; }
  cairn::TCairnTable& tblContactCategory() const { return *FTblContactCategory; }
  cairn::TCairnTable& tblContacts() const { return *FTblContacts; }
  cairn::TCairnTable& tblEventCategory() const { return *FTblEventCategory; }
  cairn::TCairnTable& tblEventType() const { return *FTblEventType; }
  cairn::TCairnTable& tblImages() const { return *FTblImages; }
  cairn::TCairnTable& tblWorkHours() const { return *FTblWorkHours; }
  cairn::TCairnTable& tblEvents() const { return *FTblEvents; }
  cairn::TCairnTable& tblTasks() const { return *FTblTasks; }
  cairn::TCairnTable& CairnTable1() const { return *FCairnTable1; }
  cairn::TCairnTable& tblWorkHourOptions() const { return *FTblWorkHourOptions; }
  cairn::TCairnTable& tblResources() const { return *FTblResources; }
  cairn::TCairnTable& tblPhotos() const { return *FTblPhotos; }
  cairn::TCairnTable& tblEventsArchi() const { return *FTblEventsArchi; }

 private:
  std::unique_ptr<cairn::TCairnTable> NewTable(const std::string& name,
                                               const std::string& tableName);

  cairn::host::TApplication& FApplication;
  std::string FDataDirectory;
  std::string FCaption = "MainForm";
  int FClientWidth = 646;
  int FClientHeight = 365;
  bool FClosed = false;

  std::unique_ptr<TButton> FBtnGenerate;
  std::unique_ptr<cairn::TCairnDatabase> FDbMain;
  std::unique_ptr<cairn::TCairnTable> FTblApptTemplates;
  std::unique_ptr<cairn::TCairnTable> FTblContactCategory;
  std::unique_ptr<cairn::TCairnTable> FTblContacts;
  std::unique_ptr<cairn::TCairnTable> FTblEventCategory;
  std::unique_ptr<cairn::TCairnTable> FTblEventType;
  std::unique_ptr<cairn::TCairnTable> FTblImages;  // never used: no table "Images" is created
  std::unique_ptr<cairn::TCairnTable> FTblWorkHours;
  std::unique_ptr<cairn::TCairnTable> FTblEvents;
  std::unique_ptr<cairn::TCairnTable> FTblTasks;
  std::unique_ptr<cairn::TCairnTable>
      FCairnTable1;  // never used: Resources goes through tblResources
  std::unique_ptr<cairn::TCairnTable> FTblWorkHourOptions;
  std::unique_ptr<cairn::TCairnTable> FTblResources;
  std::unique_ptr<cairn::TCairnTable> FTblPhotos;
  std::unique_ptr<cairn::TCairnTable> FTblEventsArchi;
};

}  // namespace kalvora
