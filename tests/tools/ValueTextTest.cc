// The text forms of values, in process: what each field kind accepts and refuses, and the CSV
// reader's and writer's handling of quotes, line breaks and line numbers.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <variant>
#include <vector>

#include "tests/support/DiskFiles.h"
#include "tests/support/TempDir.h"
#include "tools/cairn/CsvReader.h"
#include "tools/cairn/CsvWriter.h"
#include "tools/cairn/ValueText.h"

namespace cairn::tools {
namespace {

TFieldTarget Target(TFieldType type, int32_t size = 0) {
  return {ValueKindOf(type), type, size};
}

TCairnValue Parse(TFieldType type, const std::string& text, int32_t size = 0) {
  bool cut = false;
  return ParseValue(Target(type, size), text, cut);
}

std::string Refusal(TFieldType type, const std::string& text) {
  try {
    Parse(type, text);
  } catch (const EValueError& error) {
    return error.what();
  }
  return "accepted";
}

TEST(ValueTextTest, ValuesOfEachKind) {
  EXPECT_TRUE(std::holds_alternative<TNullValue>(Parse(ftInteger, "")));
  EXPECT_TRUE(std::holds_alternative<TNullValue>(Parse(ftString, "", 10)));
  EXPECT_EQ(std::get<int64_t>(Parse(ftSmallint, "-32768")), -32768);
  EXPECT_EQ(std::get<int64_t>(Parse(ftWord, "65535")), 65535);
  EXPECT_EQ(std::get<int64_t>(Parse(ftLargeint, "-9223372036854775808")), INT64_MIN);
  EXPECT_EQ(std::get<double>(Parse(ftFloat, "2.5e-3")), 0.0025);
  EXPECT_EQ(std::get<TCurrencyValue>(Parse(ftCurrency, "-12.34")).Value, -12.34);
  EXPECT_EQ(std::get<bool>(Parse(ftBoolean, "TRUE")), true);
  EXPECT_EQ(std::get<bool>(Parse(ftBoolean, "false")), false);
  // Days since 1899-12-30, the time as the fraction; before that day the fraction counts back.
  EXPECT_EQ(std::get<TDateTimeValue>(Parse(ftDate, "1899-12-31")).Value, 1.0);
  EXPECT_EQ(std::get<TDateTimeValue>(Parse(ftTime, "06:00")).Value, 0.25);
  EXPECT_EQ(std::get<TDateTimeValue>(Parse(ftDateTime, "1900-01-01T18:00:00")).Value, 2.75);
  EXPECT_EQ(std::get<TDateTimeValue>(Parse(ftDateTime, "1899-12-29 06:00")).Value, -1.25);
  EXPECT_EQ(std::get<std::string>(Parse(ftBlob, "AAEC/w==")), std::string("\0\1\2\xFF", 4));
  EXPECT_EQ(std::get<std::string>(Parse(ftGraphic, "YWI=")), "ab");
  EXPECT_EQ(std::get<std::string>(Parse(ftMemo, "\xE2\x82\xAC")), "\xE2\x82\xAC");
}

TEST(ValueTextTest, RefusalsSayWhy) {
  struct TCase {
    TFieldType Type;
    const char* Text;
    const char* Message;
  };
  const TCase cases[] = {
      {ftInteger, "12a", "'12a' is not an integer"},
      {ftInteger, "2147483648", "2147483648 is out of range (-2147483648 to 2147483647)"},
      {ftWord, "-1", "-1 is out of range (0 to 65535)"},
      {ftLargeint, "9223372036854775808", "is out of range"},
      {ftInteger, " 1", "is not an integer"},
      {ftFloat, "1,5", "'1,5' is not a decimal number"},
      {ftFloat, "inf", "is not a decimal number"},
      {ftBoolean, "1", "'1' is not true or false"},
      {ftDate, "2023-02-29", "is not a date (yyyy-mm-dd)"},
      {ftDate, "2024-1-5", "is not a date"},
      {ftDate, "2024-01-05T00:00", "is not a date"},
      {ftTime, "12:60", "is not a time"},
      {ftTime, "12:00:00.1234", "is not a time"},
      {ftDateTime, "2024-01-05T10:00+01:00", "is not a date-time"},
      {ftDateTime, "2024-01-05X10:00", "is not a date-time"},
      {ftBlob, "AAE", "not base64: the length is not a multiple of 4"},
      {ftBlob, "A=AA", "not base64"},
      {ftBlob, "AA=A", "not base64"},
      {ftString, "\xE2\x98\x83", "character U+2603"},
      {ftMemo, "\xC0\xAF", "not valid UTF-8 at byte 1"},        // an overlong "/"
      {ftMemo, "ab\xED\xA0\x80", "not valid UTF-8 at byte 3"},  // a surrogate
      {ftBytes, "00", "cannot be loaded"},
  };
  for (const TCase& c : cases) {
    const std::string refusal = Refusal(c.Type, c.Text);
    EXPECT_NE(refusal.find(c.Message), std::string::npos) << c.Text << ": " << refusal;
  }
}

TEST(ValueTextTest, TextsLongerThanTheFieldAreMarkedCutByCharacters) {
  bool cut = false;
  // Five characters of two UTF-8 bytes each fit a field of five.
  ParseValue(Target(ftString, 5), "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9", cut);
  EXPECT_FALSE(cut);
  ParseValue(Target(ftString, 5), "abcdef", cut);
  EXPECT_TRUE(cut);
  // Characters after an ASCII start are counted as characters too.
  ParseValue(Target(ftString, 5), "abc\xC3\xA9\xC3\xA9", cut);
  EXPECT_FALSE(cut);
  ParseValue(Target(ftString, 5),
             "abc\xC3\xA9\xC3\xA9"
             "d",
             cut);
  EXPECT_TRUE(cut);
}

// Into a value of the row before: the new value whatever the old one held, and the old one kept
// when the text is refused.
TEST(ValueTextTest, ParsingIntoAValueReplacesItOrLeavesIt) {
  bool cut = false;
  TCairnValue value = std::string(100, 'x');
  ParseValueInto(Target(ftString, 5), "abcdef", cut, value);
  EXPECT_EQ(std::get<std::string>(value), "abcdef");
  EXPECT_TRUE(cut);
  ParseValueInto(Target(ftString, 5), "", cut, value);
  EXPECT_TRUE(std::holds_alternative<TNullValue>(value));
  ParseValueInto(Target(ftMemo), "\xE2\x82\xAC", cut, value);
  EXPECT_EQ(std::get<std::string>(value), "\xE2\x82\xAC");
  EXPECT_FALSE(cut);
  EXPECT_THROW(ParseValueInto(Target(ftString, 5), "\xE2\x98\x83", cut, value), EValueError);
  EXPECT_THROW(ParseValueInto(Target(ftInteger), "1x", cut, value), EValueError);
  EXPECT_EQ(std::get<std::string>(value), "\xE2\x82\xAC");
  ParseValueInto(Target(ftInteger), "7", cut, value);
  EXPECT_EQ(std::get<int64_t>(value), 7);
}

TEST(ValueTextTest, Base64AndDecimalsRoundTrip) {
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
  for (size_t length : {0u, 1u, 2u, 3u, 4u, 256u}) {
    const std::string part = bytes.substr(0, length);
    EXPECT_EQ(Base64Decode(Base64Encode(part)), part) << length;
  }
  for (double value : {0.1, -1e-300, 3.141592653589793, 1e21, 123456789.125})
    EXPECT_EQ(std::get<double>(Parse(ftFloat, DecimalText(value))), value);
}

std::vector<std::vector<std::string>> ReadAll(const std::string& text,
                                              std::vector<int64_t>* lines = nullptr) {
  TCsvReader reader(text);
  TCsvRecord record;
  std::vector<std::vector<std::string>> records;
  while (reader.Next(record)) {
    records.push_back(record.Fields);
    if (lines != nullptr) lines->push_back(record.Line);
  }
  return records;
}

TEST(CsvTest, QuotesLineBreaksAndLineNumbers) {
  std::vector<int64_t> lines;
  const auto records = ReadAll(
      "\xEF\xBB\xBF"
      "a,b\r\n\"x,1\",\"say \"\"hi\"\"\"\n\n\"two\nlines\",\r\n,\n",
      &lines);
  using TRecords = std::vector<std::vector<std::string>>;
  EXPECT_EQ(records, (TRecords{{"a", "b"}, {"x,1", "say \"hi\""}, {"two\nlines", ""}, {"", ""}}));
  // The empty line is skipped but counted; a record spanning two lines moves the next one on.
  EXPECT_EQ(lines, (std::vector<int64_t>{1, 2, 4, 6}));
  EXPECT_EQ(ReadAll("a"), (TRecords{{"a"}}));
  EXPECT_EQ(ReadAll("\"\"\n"), (TRecords{{""}}));
}

TEST(CsvTest, MalformedQuotesNameTheLine) {
  struct TCase {
    const char* Text;
    const char* Message;
  };
  const TCase cases[] = {
      {"a\n\"open\n\nstill open", "line 2: a quoted field is not closed"},
      {"a,b\nx,\"y\nz\",\"w",
       "line 3: a quoted field is not closed before the end of the file "
       "(the record starts on line 2)"},
      {"a\n\"x\"y\n", "line 2, field 1: a character follows the closing quote"},
  };
  for (const TCase& c : cases) {
    try {
      ReadAll(c.Text);
      ADD_FAILURE() << c.Text;
    } catch (const ECsvError& error) {
      EXPECT_NE(std::string(error.what()).find(c.Message), std::string::npos) << error.what();
    }
  }
}

// Every record with its line, or the error the reader stops with.
std::string Outcome(TCsvReader& reader) {
  std::string outcome;
  TCsvRecord record;
  try {
    while (reader.Next(record)) {
      outcome += std::to_string(record.Line) + ":";
      for (const std::string& field : record.Fields) outcome += "[" + field + "]";
      outcome += "\n";
    }
  } catch (const ECsvError& error) {
    outcome += std::string("error: ") + error.what();
  }
  return outcome;
}

// A file read a chunk at a time reads as the same text held whole, wherever a chunk ends: inside
// a field, a quoted line break, a doubled quote, a CRLF or the byte order mark.
TEST(CsvTest, AStreamReadsAsTheWholeTextAtEveryChunkSize) {
  const std::string texts[] = {
      "\xEF\xBB\xBF"
      "a,b\r\n\"x,1\",\"say \"\"hi\"\"\"\n\n\"two\r\nlines\nand three\",\r\n,\n",
      "cr\rinside,\"cr\r\"\r\n\r\nlast line without its end",
      "a,b\nx,\"y\nz\",\"w",
      "a\n\"x\"y\n",
      "\"\"\n\"\"\"\"",
      "\xEF\xBB",
      "",
  };
  for (const std::string& text : texts) {
    SCOPED_TRACE(text);
    TCsvReader whole(text);
    const std::string expected = Outcome(whole);
    for (size_t chunk = 1; chunk <= text.size() + 1; ++chunk) {
      std::istringstream in(text);
      TCsvReader reader(in, chunk);
      ASSERT_EQ(Outcome(reader), expected) << "chunk " << chunk;
    }
  }
  // One case spelled out, so that the table above does not only compare the reader to itself.
  std::istringstream in("\xEF\xBB\xBFn,m\r\n\"a\nb\"\"\",c\r\n");
  TCsvReader reader(in, 2);
  EXPECT_EQ(Outcome(reader), "1:[n][m]\n2:[a\nb\"][c]\n");
}

TEST(CsvTest, WriterQuotesWhatNeedsItAndReadsBack) {
  test::TTempDir temp;
  const std::string path = temp.File("out.csv");
  const std::vector<std::vector<std::string>> records = {
      {"plain", "with,comma", "with \"quote\"", "line\nbreak", " lead", "trail ", ""},
      {""},
      {"\r"}};
  {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    TCsvWriter writer(out);
    for (const auto& record : records) writer.Write(record);
    std::fclose(out);
  }
  const std::string text = test::ReadDiskFile(path);
  EXPECT_EQ(text,
            "plain,\"with,comma\",\"with \"\"quote\"\"\",\"line\nbreak\",\" lead\",\"trail \",\r\n"
            "\"\"\r\n\"\r\"\r\n");
  EXPECT_EQ(ReadAll(text), records);
}

}  // namespace
}  // namespace cairn::tools
