// schema --json -> create -> load -> dump: the same schema and the same rows, for every type the
// tool handles, nulls, awkward texts and large memos.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "tests/support/DiskFiles.h"
#include "tests/support/TempDir.h"
#include "tests/tools/EveryTypeTable.h"
#include "tests/tools/ToolRun.h"

namespace cairn::test {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// The characters Windows-1252 holds at the bytes first ... last (from 128), in UTF-8; the five
// bytes without a character stand for the C1 controls of the same value.
std::string HighCharacters(int first = 128, int last = 255) {
  static const char16_t kHigh[32] = {
      0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0x8D,   0x017D, 0x8F,   0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};
  std::string text;
  for (int byte = first; byte <= last; ++byte) {
    const char32_t c = byte < 160 ? kHigh[byte - 128] : static_cast<char32_t>(byte);
    if (c < 0x800) {
      text += static_cast<char>(0xC0 | (c >> 6));
      text += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      text += static_cast<char>(0xE0 | (c >> 12));
      text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      text += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return text;
}

// 100 000 characters over several lines, with commas and quotes.
std::string LargeMemo() {
  std::string text;
  for (int i = 0; text.size() < 100000; ++i) text += "line " + std::to_string(i) + ", \"q\"\n";
  text.resize(100000);
  return text;
}

// Where two long texts first differ, shown briefly; empty when they are equal.
std::string Difference(const std::string& actual, const std::string& expected) {
  if (actual == expected) return {};
  size_t at = 0;
  while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
  const size_t from = at < 40 ? 0 : at - 40;
  return "sizes " + std::to_string(actual.size()) + " and " + std::to_string(expected.size()) +
         ", first difference at byte " + std::to_string(at) + ": actual ..." +
         actual.substr(from, 80) + "... expected ..." + expected.substr(from, 80) + "...";
}

std::string Quoted(const std::string& text) {
  std::string quoted = "\"";
  for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

class RoundTripTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directory(Temp.File("a"));
    fs::create_directory(Temp.File("b"));
    CreateEveryTypeTable(Temp.File("a"), "T", Temp.Path());
  }

  TToolRun Load(const std::string& directory, const std::string& csv) {
    const std::string file = Temp.File("in.csv");
    WriteDiskFile(file, csv);
    return RunCairn({"load", directory, "T", file});
  }

  TTempDir Temp;
};

const char* const kHeader =
    "Id,Name,Fixed,Small,Int,W,Big,Flag,F,Money,Dec,D,T,DT,Notes,Data,Pic,G\r\n";

TEST_F(RoundTripTest, DumpPrintsExactlyWhatLoadRead) {
  // The rows in the form dump prints: extremes of every type, a row of nulls, texts with quotes,
  // commas, line breaks and the characters 128-255, memos of 0 and 100 000 characters.
  const std::string high = HighCharacters();
  const std::string memo = LargeMemo();
  const std::string csv =
      std::string(kHeader) +
      "1,Alpha,\"ab \",-32768,-2147483648,65535,-9223372036854775808,true,3.141592653589793,"
      "1234.5678,123.4567,1899-12-30,23:59:59.999,1800-01-01T06:30:00.125,hello,AAEC/w==,/w==,"
      "{01234567-89AB-CDEF-0123-456789ABCDEF}\r\n"
      "2,Beta,,,,,,,,,,,,,,,,\r\n"
      "3,\"He said \"\"hi\"\", then left\",\"x,y\",32767,2147483647,0,9223372036854775807,false,"
      "-1e-300,-0.01,0,0001-01-01,00:00:00,2024-02-29T12:00:00,\"line1\nline2\r\nline3\",,,\r\n"
      "4," +
      HighCharacters(192, 231) +
      ",,1,1,1,1,true,0.1,0.1,0.1,9999-12-31,12:00:00.5,"
      "9999-12-31T23:59:59.999," +
      high +
      ",,,\r\n"
      "5,Large,,,,,,,,,,,,," +
      Quoted(memo) + ",,,\r\n";
  // The name is 40 characters, as many as the field holds: nothing is cut.
  const TToolRun load = Load(Temp.File("a"), csv);
  ASSERT_EQ(load.Status, 0) << load.Err;
  EXPECT_EQ(load.Err, "");
  EXPECT_NE(load.Out.find("loaded 5 rows"), std::string::npos) << load.Out;

  const TToolRun dump = RunCairn({"dump", Temp.File("a"), "T"});
  ASSERT_EQ(dump.Status, 0) << dump.Err;
  // "12:00:00.5" reads back with its milliseconds written out.
  std::string expected = csv;
  expected.replace(expected.find("12:00:00.5"), 10, "12:00:00.500");
  EXPECT_EQ(Difference(dump.Out, expected), "");

  // The schema makes the same table elsewhere, and the dump loads into it as the same rows.
  const TToolRun schema = RunCairn({"schema", Temp.File("a"), "T", "--json"});
  ASSERT_EQ(schema.Status, 0) << schema.Err;
  WriteDiskFile(Temp.File("t.json"), schema.Out);
  const TToolRun create =
      RunCairn({"create", Temp.File("b"), "T", "--schema", Temp.File("t.json")});
  ASSERT_EQ(create.Status, 0) << create.Err;
  EXPECT_EQ(json::parse(RunCairn({"schema", Temp.File("b"), "T", "--json"}).Out),
            json::parse(schema.Out));
  ASSERT_EQ(Load(Temp.File("b"), dump.Out).Status, 0);
  EXPECT_EQ(Difference(RunCairn({"dump", Temp.File("b"), "T"}).Out, dump.Out), "");
}

TEST_F(RoundTripTest, OtherSpellingsReadAsTheSameValues) {
  // Fields in another order and a subset; LF line ends; letter case of Booleans; a blank instead
  // of T in a date-time; times without seconds; decimals in exponent form.
  const TToolRun load = Load(Temp.File("a"),
                             "dt,name,FLAG,t,f,Money\n"
                             "2024-02-29 12:00,Alpha,TRUE,07:05,1.5e3,12\n"
                             "2024-03-01,Beta,False,07:05:09.1,-0,\n");
  ASSERT_EQ(load.Status, 0) << load.Err;
  const TToolRun dump = RunCairn({"dump", Temp.File("a"), "T", "--format", "json"});
  ASSERT_EQ(dump.Status, 0) << dump.Err;
  const std::vector<std::string> lines = Lines(dump.Out);
  ASSERT_EQ(lines.size(), 2u) << dump.Out;
  const json first = json::parse(lines[0]), second = json::parse(lines[1]);
  EXPECT_EQ(first["Id"], 1);
  EXPECT_EQ(first["DT"], "2024-02-29T12:00:00");
  EXPECT_EQ(first["Flag"], true);
  EXPECT_EQ(first["T"], "07:05:00");
  EXPECT_EQ(first["F"], 1500.0);
  EXPECT_EQ(first["Money"], 12.0);
  EXPECT_TRUE(first["Small"].is_null());
  EXPECT_EQ(second["DT"], "2024-03-01T00:00:00");
  EXPECT_EQ(second["Flag"], false);
  EXPECT_EQ(second["T"], "07:05:09.100");
  EXPECT_TRUE(second["Money"].is_null());
}

}  // namespace
}  // namespace cairn::test
