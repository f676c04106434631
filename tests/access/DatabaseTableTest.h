// A fixture for table components: a database "MainDB" over a temporary directory, and table
// objects named after their tables.
#pragma once

#include <memory>
#include <string>

#include "cairn/access/CairnDatabase.h"
#include "cairn/access/CairnTable.h"
#include "tests/support/ComponentLayerTest.h"

namespace cairn::test {

// Creates with the arguments the generator passes.
inline void Create(TCairnTable& table) {
  table.CreateTable(0, 1, 0, false, "", "", 4096, 512, 0, "", nullptr, "", "");
}

class DatabaseTableTest : public ComponentLayerTest {
 protected:
  void SetUp() override {
    ComponentLayerTest::SetUp();
    db = std::make_unique<TCairnDatabase>();
    db->SetName("dbMain");
    db->SetDatabaseName("MainDB");
    db->SetDirectory(Temp.Path());
  }
  void TearDown() override {
    db.reset();
    ComponentLayerTest::TearDown();
  }

  std::unique_ptr<TCairnTable> NewTable(const std::string& tableName) {
    auto table = std::make_unique<TCairnTable>();
    table->SetName("tbl" + tableName);
    table->SetDatabaseName("MainDB");
    table->SetTableName(tableName);
    return table;
  }

  std::unique_ptr<TCairnDatabase> db;
};

}  // namespace cairn::test
