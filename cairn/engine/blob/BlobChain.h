// Writing and reading one blob value as a chain of blocks of a blob file.
//
// A value lives in a chain: the first block carries the value's signature and its stored size
// (TotalLength); every block holds up to BlobBlockSize - 18 bytes at data offset 0 and links to
// its neighbours. The record holds the first block number and the same signature, so a record
// image whose signature differs from its first block is stale, not damaged.
//
// A value that shrinks leaves the rest of its old chain linked behind its last block; a value
// that grows again reuses it before allocating. Readers stop at TotalLength.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "cairn/engine/io/BufferedFile.h"

namespace cairn {

class TBlobFile;

enum class TBlobStatus {
  Done,
  // Another writer changed the value (or the table): re-read the record and try again.
  Changed,
};

class TBlobChain {
 public:
  TBlobChain(TBlobFile& file, const TBufferRequest& request) : FFile(file), FRequest(request) {}

  // Writes value into the chain starting at firstBlock (0: a new chain, whose first block number
  // comes back in firstBlock), stamped with signature, compressed first at compressionLevel
  // 1 ... 9. An empty value writes no block: an existing first block only gets TotalLength 0
  // and the signature. Changed only when the table's cached blocks were dropped under the write.
  TBlobStatus WriteBlobValue(int32_t& firstBlock, int32_t signature, std::string_view value,
                             uint8_t compressionLevel);

  // Reads the value of the chain starting at firstBlock (0: empty) into value, decompressed when
  // compressionLevel is set. Changed when the first block carries another signature than the
  // record. A damaged chain raises CAIRN_MEMOCORRUPT (a link outside the file, a loop),
  // CAIRN_INVALIDBLOBLEN or CAIRN_ENDOFBLOB (fewer bytes than TotalLength).
  TBlobStatus ReadBlobValue(int32_t firstBlock, int32_t signature, uint8_t compressionLevel,
                            std::vector<char>& value);

 private:
  TBlobFile& FFile;
  TBufferRequest FRequest;
};

}  // namespace cairn
