// Follows the chain of one blob value block by block, trusting no link, length or signature.
//
// A value's first block carries its signature and stored size (TotalLength); every block names
// the blocks before and after it. The walk follows the whole chain (a value that shrank keeps its
// old blocks linked behind its last one) and checks that the value's bytes are there up to
// TotalLength. Blocks are marked in a map shared by all walks of a file, so a loop or a block that
// two values share is found. A walk never takes more steps than the file has blocks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cairn {

class TBlobFile;

class TBlobChainWalker {
 public:
  struct TProblem {
    bool InBlobFile = true;  // else the offset is in the data file (the record's reference)
    int64_t Offset = 0;
    std::string Kind;  // "blob link", "blob signature", "blob length", "blob read"
    std::string Text;
  };
  static constexpr uint8_t kInChain = 1;

  // blocks: the blocks both counted and present; owners holds blocks + 1 entries (0: unused).
  TBlobChainWalker(TBlobFile& file, int32_t blocks, std::vector<uint8_t>& owners)
      : FFile(file), FBlocks(blocks), FOwners(owners) {}

  // The problems of the chain that starts at firstBlock (not 0), as a record with this signature
  // and compression level references it at referenceOffset of the data file; value names it in
  // the texts. Empty for a sound chain. A compressed value is also expanded.
  std::vector<TProblem> Walk(int32_t firstBlock, int32_t signature, uint8_t compression,
                             int64_t referenceOffset, const std::string& value);

  int64_t BlockOffset(int32_t block) const;

 private:
  TBlobFile& FFile;
  int32_t FBlocks;
  std::vector<uint8_t>& FOwners;
};

}  // namespace cairn
