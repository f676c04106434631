#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include "cairn/access/CairnEngine.h"
#include "cairn/access/CairnSession.h"
#include "cairn/error/EngineError.h"
#include "cairn/host/Dialogs.h"
#include "generator/MainForm.h"
#include "tests/support/ComponentLayerTest.h"

namespace kalvora {
namespace {

using cairn::TCairnTable;
using cairn::host::TRecordingDialogs;

class MainFormTest : public cairn::test::ComponentLayerTest {
 protected:
  void SetUp() override {
    ComponentLayerTest::SetUp();
    auto dialogs = std::make_unique<TRecordingDialogs>();
    Dialogs = dialogs.get();
    App =
        std::make_unique<cairn::host::TApplication>(Temp.File("kalvora-dbgen"), std::move(dialogs));
    Form = std::make_unique<TMainForm>(*App, DataDirectoryBeside(Temp.File("kalvora-dbgen")));
  }
  void TearDown() override {
    Form.reset();
    ComponentLayerTest::TearDown();
  }

  std::unique_ptr<cairn::host::TApplication> App;
  TRecordingDialogs* Dialogs = nullptr;
  std::unique_ptr<TMainForm> Form;
};

TEST_F(MainFormTest, ComponentsAsCreated) {
  EXPECT_EQ(Form->Name(), "MainForm");
  EXPECT_EQ(Form->Caption(), "MainForm");
  EXPECT_EQ(Form->ClientWidth(), 646);
  EXPECT_EQ(Form->ClientHeight(), 365);

  const TButton& button = Form->btnGenerate();
  EXPECT_EQ(button.Name(), "btnGenerate");
  EXPECT_EQ(button.Caption(), "Generate DB");
  EXPECT_EQ(button.Left(), 112);
  EXPECT_EQ(button.Top(), 72);
  EXPECT_EQ(button.Width(), 75);
  EXPECT_EQ(button.Height(), 25);

  EXPECT_EQ(Form->dbMain().Name(), "dbMain");
  EXPECT_EQ(Form->dbMain().DatabaseName(), "MainDB");
  EXPECT_EQ(Form->dbMain().SessionName(), "Default");
  EXPECT_EQ(Form->dbMain().Session(), &cairn::DefaultSession());
  EXPECT_FALSE(Form->dbMain().Connected());
  EXPECT_EQ(Form->dbMain().EngineVersion(), "4.00 Build 1");
  EXPECT_EQ(Form->dbMain().Session()->EngineVersion(), "4.00 Build 1");

  const struct {
    const TCairnTable& table;
    const char* name;
    const char* tableName;
  } tables[] = {
      {Form->tblApptTemplates(), "tblApptTemplates", "ApptTemplates"},
      {Form->tblContactCategory(), "tblContactCategory", "ContactCategory"},
      {Form->tblContacts(), "tblContacts", "Contacts"},
      {Form->tblEventCategory(), "tblEventCategory", "EventCategory"},
      {Form->tblEventType(), "tblEventType", "EventType"},
      {Form->tblImages(), "tblImages", "Images"},
      {Form->tblWorkHours(), "tblWorkHours", "WorkHours"},
      {Form->tblEvents(), "tblEvents", "Events"},
      {Form->tblTasks(), "tblTasks", "Tasks"},
      {Form->CairnTable1(), "CairnTable1", "Resources"},
      {Form->tblWorkHourOptions(), "tblWorkHourOptions", "WorkHourOptions"},
      {Form->tblResources(), "tblResources", "Resources"},
      {Form->tblPhotos(), "tblPhotos", "Photos"},
      {Form->tblEventsArchi(), "tblEventsArchi", "EventsArchi"},
  };
  for (const auto& t : tables) {
    SCOPED_TRACE(t.name);
    EXPECT_EQ(t.table.Name(), t.name);
    EXPECT_EQ(t.table.TableName(), t.tableName);
    EXPECT_EQ(t.table.DatabaseName(), "MainDB");
    EXPECT_EQ(t.table.EngineVersion(), "4.00 Build 1");
    EXPECT_FALSE(t.table.Active());
    EXPECT_FALSE(t.table.Exclusive());
    EXPECT_FALSE(t.table.Loading());
  }
  EXPECT_FALSE(cairn::CairnEngine().Active());
}

TEST_F(MainFormTest, RunCreatesTheTablesClosesTheFormAndTerminates) {
  std::filesystem::create_directory(Temp.File("Data"));
  Form->FormCreate(*Form);
  EXPECT_TRUE(Form->Closed());
  EXPECT_TRUE(App->Terminated());
  EXPECT_TRUE(Dialogs->Records().empty());
  EXPECT_EQ(Form->dbMain().Directory(), Temp.File("Data"));
  EXPECT_TRUE(Form->dbMain().Connected());
  for (const char* name :
       {"EventsArchi", "Events", "ApptTemplates", "ContactCategory", "Contacts", "EventCategory",
        "EventType", "Resources", "Tasks", "WorkHourOptions", "WorkHours", "Photos"}) {
    EXPECT_TRUE(FileExists(Temp.File(std::string("Data/") + name + ".dat"))) << name;
  }
  EXPECT_FALSE(FileExists(Temp.File("Data/Images.dat")));
  // The generator operations leave Exclusive set; the two unused components are untouched.
  EXPECT_TRUE(Form->tblEventsArchi().Exclusive());
  EXPECT_TRUE(Form->tblResources().Exclusive());
  EXPECT_TRUE(Form->tblPhotos().Exclusive());
  EXPECT_FALSE(Form->tblImages().Exclusive());
  EXPECT_FALSE(Form->CairnTable1().Exclusive());
  EXPECT_FALSE(Form->tblEvents().Active());
}

TEST_F(MainFormTest, OpenFailureIsShownAndTheFirstCheckEndsTheRun) {
  cairn::TEngineErrorContext context;
  context.Message = "No medium";
  cairn::DefaultSession().SetOnStartup(
      [&](cairn::TCairnSession&) { throw cairn::ECairnEngineError(11010, context); });
  try {
    Form->FormCreate(*Form);
    FAIL() << "the run went through";
  } catch (const cairn::ECairnEngineError& error) {
    EXPECT_EQ(error.ErrorCode(), 11010);
  }
  ASSERT_EQ(Dialogs->Records().size(), 1u);
  const cairn::host::TDialogRecord& dialog = Dialogs->Records()[0];
  EXPECT_EQ(dialog.Caption, "Error");
  EXPECT_EQ(dialog.Text, "Error occurred. \r\nError Code:11010\r\nError Message:No medium");
  EXPECT_EQ(dialog.Type, cairn::host::TMsgDlgType::mtError);
  EXPECT_EQ(dialog.Buttons, cairn::host::mbOK);
  EXPECT_FALSE(Form->Closed());
  EXPECT_FALSE(App->Terminated());
}

TEST_F(MainFormTest, OtherOpenFailuresAreNotCaught) {
  cairn::DefaultSession().SetOnStartup(
      [](cairn::TCairnSession&) { throw std::runtime_error("startup failed"); });
  EXPECT_THROW(Form->OpenDB(), std::runtime_error);
  EXPECT_TRUE(Dialogs->Records().empty());
}

TEST(OpenFailureTextTest, ThreeLinesWithCodeAndMessage) {
  cairn::TEngineErrorContext context;
  EXPECT_EQ(OpenFailureText(cairn::ECairnEngineError(11013, context)),
            "Error occurred. \r\nError Code:11013\r\nError Message:");
  context.Message = "caf\xE9";  // 8-bit engine text, shown as UTF-8
  EXPECT_EQ(OpenFailureText(cairn::ECairnEngineError(9, context)),
            "Error occurred. \r\nError Code:9\r\nError Message:caf\xC3\xA9");
}

}  // namespace
}  // namespace kalvora
