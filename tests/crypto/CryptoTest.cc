#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>

#include "cairn/crypto/Blowfish.h"
#include "cairn/crypto/Md5.h"

namespace cairn {
namespace {

std::string Hex(const uint8_t* bytes, size_t n) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < n; ++i) {
    out += digits[bytes[i] >> 4];
    out += digits[bytes[i] & 15];
  }
  return out;
}

TEST(MD5Test, KnownDigests) {
  struct {
    const char* text;
    const char* digest;
  } cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
  };
  for (const auto& c : cases) {
    TMD5Digest d = MD5Digest(c.text);
    EXPECT_EQ(Hex(d.Bytes.data(), 16), c.digest) << c.text;
  }
  EXPECT_FALSE(MD5Digest("CAIRN_SIG").IsZero());
  EXPECT_TRUE(TMD5Digest{}.IsZero());
}

TEST(BlowfishTest, FirstBlockMatchesStandardVector) {
  // Zero key, zero block: the classic test vector. With a zero vector, CBC's first block is ECB.
  TBlowfishCBC cipher;
  uint8_t key[8] = {};
  cipher.SetKey(key, sizeof key);
  uint8_t block[8] = {};
  cipher.Encrypt(block, sizeof block);
  EXPECT_EQ(Hex(block, 8), "4ef997456198dd78");
}

TEST(BlowfishTest, ChainsBlocksAndLeavesTrailingRemainderPlain) {
  TBlowfishCBC cipher;
  TMD5Digest key = MD5Digest("secret");
  cipher.SetKey(key.Bytes.data(), key.Bytes.size());

  uint8_t plain[21];
  for (int i = 0; i < 21; ++i) plain[i] = static_cast<uint8_t>(i * 7 + 1);
  uint8_t data[21];
  std::memcpy(data, plain, sizeof data);
  cipher.Encrypt(data, sizeof data);
  EXPECT_NE(0, std::memcmp(data, plain, 16));
  EXPECT_EQ(0, std::memcmp(data + 16, plain + 16, 5)) << "remainder must stay plain";

  // Identical plaintext blocks encrypt differently under CBC.
  uint8_t twice[16] = {};
  cipher.Encrypt(twice, sizeof twice);
  EXPECT_NE(0, std::memcmp(twice, twice + 8, 8));

  // Each call restarts from the zero vector: same unit, same bytes.
  uint8_t again[21];
  std::memcpy(again, plain, sizeof again);
  cipher.Encrypt(again, sizeof again);
  EXPECT_EQ(0, std::memcmp(again, data, sizeof data));

  cipher.Decrypt(data, sizeof data);
  EXPECT_EQ(0, std::memcmp(data, plain, sizeof data));
}

TEST(BlowfishTest, ShortUnitIsUntouched) {
  TBlowfishCBC cipher;
  uint8_t key[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  cipher.SetKey(key, sizeof key);
  EXPECT_THROW(cipher.SetKey(key, 4), std::invalid_argument);
  uint8_t data[7] = {1, 2, 3, 4, 5, 6, 7};
  cipher.Encrypt(data, sizeof data);
  EXPECT_EQ(data[0], 1);
  EXPECT_EQ(data[6], 7);
}

}  // namespace
}  // namespace cairn
