// Every file the fuzzing harnesses found a fault with, replayed the way the harness read it: the
// sound table with one file replaced, read all through the component layer. Each must now end
// in the engine error that names the damage (never a hang, crash or sanitizer report), and the
// sound table itself must read whole.
#include <gtest/gtest.h>

#include <string>

#include "cairn/error/EngineErrorCodes.h"
#include "fuzz/SoundTable.h"
#include "fuzz/TableReader.h"
#include "tests/support/TempDir.h"

namespace cairn::test {
namespace {

using fuzz::ReadFileBytes;
using fuzz::WriteFileBytes;

struct TReproducer {
  const char* File;      // in tests/fuzz/reproducers
  const char* Replaces;  // the extension of the sound table's file it stands for
  int ErrorCode;         // what reading the table must end with
};

std::string TablePath(const TTempDir& dir, const char* extension) {
  return dir.File(std::string(fuzz::kSoundTableName) + extension);
}

TEST(FuzzReproducer, SoundTableReadsWhole) {
  TTempDir dir;
  fuzz::BuildSoundTable(dir.Path());
  const fuzz::TReadOutcome outcome = fuzz::ReadWholeTable(dir.Path(), fuzz::kSoundTableName);
  EXPECT_EQ(outcome.ErrorCode, 0);
  // Slot order and three indexes.
  EXPECT_EQ(outcome.RecordsRead, 4 * fuzz::kSoundRowCount);
}

class FuzzReproducerCase : public ::testing::TestWithParam<TReproducer> {};

TEST_P(FuzzReproducerCase, EndsInTheEngineError) {
  const TReproducer& reproducer = GetParam();
  TTempDir dir;
  fuzz::BuildSoundTable(dir.Path());
  const std::string bytes = ReadFileBytes(std::string(CAIRN_REPRODUCERS) + "/" + reproducer.File);
  ASSERT_FALSE(bytes.empty()) << reproducer.File;
  ASSERT_TRUE(WriteFileBytes(TablePath(dir, reproducer.Replaces), bytes));
  const fuzz::TReadOutcome outcome = fuzz::ReadWholeTable(dir.Path(), fuzz::kSoundTableName);
  EXPECT_EQ(outcome.ErrorCode, reproducer.ErrorCode) << reproducer.File;
}

const TReproducer kReproducers[] = {
    // A record whose key is not its index entry's: stepping on from the record's own key found
    // the entry again, for ever.
    {"dat-record-key-differs-from-its-entry", ".dat", CAIRN_INDEXCORRUPT},
    // A stored date-time that is not a number: its text took a day number from it (undefined
    // behaviour, which the fuzzing build's sanitizer reports; gcc's does not check float casts).
    // It now shows as no date, and the walk goes on to the damaged index entry of that record.
    {"dat-date-time-not-a-number", ".dat", CAIRN_INDEXCORRUPT},
};

INSTANTIATE_TEST_SUITE_P(Found, FuzzReproducerCase, ::testing::ValuesIn(kReproducers),
                         [](const auto& info) {
                           std::string name = info.param.File;
                           for (char& c : name)
                             if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });

}  // namespace
}  // namespace cairn::test
