#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "cairn/host/Dialogs.h"

namespace cairn::host {
namespace {

TEST(DialogsTest, ReportTextEndsWithAFullStopWhenTheLastCharacterSortsAfterIt) {
  struct Case {
    std::string message;
    std::string text;
  };
  const Case cases[] = {
      {"Table not found", "Table not found."},
      {"Code 11013", "Code 11013."},           // digits sort after '.'
      {"Done.", "Done."},                      // already ends in one
      {"Really!", "Really!"},                  // '!' sorts before '.'
      {"(see above)", "(see above)"},          // so does ')'
      {"file 'Events'", "file 'Events'"},      // and the quote
      {"trailing blank ", "trailing blank "},  // and the blank
      {"a/b", "a/b."},                         // '/' sorts just after '.'
      {"caf\xC3\xA9", "caf\xC3\xA9."},         // bytes above 0x7F too
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(TApplication::ReportText(c.message), c.text) << c.message;
}

TEST(DialogsTest, TitleComesFromTheExecutableName) {
  struct Case {
    std::string path;
    std::string title;
  };
  const Case cases[] = {
      {"/opt/kalvora/kalvora-dbgen", "kalvora-dbgen"},
      {"/opt/Gen/KalvoraDBGen.exe", "Kalvoradbgen"},
      {"/x/DBGEN.tar.gz", "Dbgen"},
      {"/x/\xC3\x84RGER", "\xC3\x84rger"},  // letters beyond ASCII too
      {"/x/aBC", "abc"},
      {"/x/.hidden", ""},
      {"NoFolder", "Nofolder"},
  };
  for (const Case& c : cases) {
    TApplication app(c.path, std::make_unique<TRecordingDialogs>());
    EXPECT_EQ(app.Title(), c.title) << c.path;
  }
}

TEST(DialogsTest, ShowExceptionShowsAnErrorDialog) {
  auto recording = std::make_unique<TRecordingDialogs>();
  TRecordingDialogs& dialogs = *recording;
  TApplication app("/opt/kalvora/kalvora-dbgen", std::move(recording));
  app.ShowException(std::runtime_error("Cannot perform this operation on an open database"));
  ASSERT_EQ(dialogs.Records().size(), 1u);
  const TDialogRecord& shown = dialogs.Records()[0];
  EXPECT_EQ(shown.Caption, "kalvora-dbgen");
  EXPECT_EQ(shown.Text, "Cannot perform this operation on an open database.");
  EXPECT_EQ(shown.Type, TMsgDlgType::mtError);
  EXPECT_EQ(shown.Buttons, static_cast<unsigned>(mbOK));
  EXPECT_FALSE(app.Terminated());
  app.Terminate();
  EXPECT_TRUE(app.Terminated());
}

TEST(DialogsTest, ConsoleDialogWritesToStandardError) {
  TConsoleDialogs console;
  testing::internal::CaptureStderr();
  int result = console.Show("Error", "Error occurred. \r\nError Code:11013\r\nError Message:",
                            TMsgDlgType::mtError, mbOK);
  std::string written = testing::internal::GetCapturedStderr();
  EXPECT_EQ(result, mrOk);
  EXPECT_EQ(written, "Error: Error occurred. \r\nError Code:11013\r\nError Message:\n");
}

}  // namespace
}  // namespace cairn::host
