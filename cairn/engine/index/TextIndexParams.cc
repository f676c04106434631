#include "cairn/engine/index/TextIndexParams.h"

namespace cairn {

namespace {

void AddRange(TCharSet& set, int first, int last) {
  for (int c = first; c <= last; ++c) set.set(c);
}

}  // namespace

TCharSet GetDefaultTextIndexSpaceChars() {
  TCharSet set;
  AddRange(set, 1, 32);   // controls and the blank
  AddRange(set, 42, 47);  // * + , - . /
  AddRange(set, 58, 62);  // : ; < = >
  set.set(92);            // backslash
  set.set(96);            // grave accent
  return set;
}

TCharSet GetDefaultTextIndexIncludeChars() {
  TCharSet set;
  AddRange(set, '0', '9');
  AddRange(set, 'A', 'Z');
  AddRange(set, 'a', 'z');
  set.set('_');
  AddRange(set, 128, 254);  // the upper half except 255
  return set;
}

TTextIndexParams GetDefaultTextIndexParams() {
  TTextIndexParams params;
  params.StopWords = {"A",   "AN",   "AND",  "BE",    "FOR",  "HOW", "IN",   "IS",
                      "IT",  "OF",   "ON",   "OR",    "THAT", "THE", "THIS", "TO",
                      "WAS", "WHAT", "WHEN", "WHICH", "WHY",  "WILL"};
  params.SpaceChars = GetDefaultTextIndexSpaceChars();
  params.IncludeChars = GetDefaultTextIndexIncludeChars();
  return params;
}

}  // namespace cairn
