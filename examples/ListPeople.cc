// The shortest way through Cairn: create a table in a folder, add a few rows, and print them in
// the order of an index.
//
//   list_people <folder>
#include <cstdio>
#include <exception>

#include "cairn/access/CairnDatabase.h"
#include "cairn/access/CairnEngine.h"
#include "cairn/access/CairnTable.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
    return 2;
  }
  using namespace cairn;
  try {
    // A database is a folder, reached by a name of our choosing.
    TCairnDatabase database;
    database.SetDatabaseName("Example");
    database.SetDirectory(argv[1]);

    TCairnTable people;
    people.SetDatabaseName("Example");
    people.SetTableName("People");
    if (!people.Exists()) {
      people.FieldDefs().Add("ID", ftAutoInc);
      people.FieldDefs().Add("Name", ftString, 40, /*required=*/true);
      people.FieldDefs().Add("Born", ftDate);
      people.IndexDefs().Add("", "ID", {ixPrimary, ixUnique});
      people.IndexDefs().Add("ByName", "Name", {ixCaseInsensitive});
      people.CreateTable(0, 1, 0, false, "", "", 4096, 512, 0, "", nullptr, "", "");
    }

    people.Open();
    // One field at a time ...
    people.Insert();
    people.FieldByName("Name").SetAsString("Margaret");
    people.FieldByName("Born").SetAsString("1936-08-17");
    people.Post();
    // ... or a whole row at once, in field order (the auto-increment ID is left to the engine).
    people.AppendRecord({TUnassigned{}, std::string("Alan"), std::string("1912-06-23")});
    people.AppendRecord({TUnassigned{}, std::string("Grace"), std::string("1906-12-09")});

    people.SetIndexName("ByName");
    for (people.First(); !people.Eof(); people.Next()) {
      std::printf("%s %s\n", people.FieldByName("Name").AsString().c_str(),
                  people.FieldByName("Born").AsString().c_str());
    }
    people.Close();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    FinalizeComponentLayer();
    return 1;
  }
  FinalizeComponentLayer();
  return 0;
}
