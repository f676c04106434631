// Full-text index parameters: stop words and the two character sets that cut text into words.
#pragma once

#include <bitset>
#include <string>
#include <vector>

namespace cairn {

// A set of 8-bit character codes.
using TCharSet = std::bitset<256>;

struct TTextIndexParams {
  std::vector<std::string> StopWords;
  TCharSet SpaceChars;    // characters that separate words
  TCharSet IncludeChars;  // characters that make up words
};

// The parameters every new index file receives when the creator gives none of its own.
TTextIndexParams GetDefaultTextIndexParams();
TCharSet GetDefaultTextIndexSpaceChars();
TCharSet GetDefaultTextIndexIncludeChars();

}  // namespace cairn
