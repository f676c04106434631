#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "cairn/crypto/Blowfish.h"
#include "cairn/engine/DataEngine.h"
#include "cairn/engine/DataSession.h"

namespace cairn {
namespace {

class DataSessionTest : public ::testing::Test {
 protected:
  TDataEngine FEngine;
  TDataSession& FSession = FEngine.StartDataSession();
};

TEST_F(DataSessionTest, NewSessionHasTheDefaults) {
  EXPECT_EQ(FSession.Name(), "");
  EXPECT_EQ(FSession.PrivateDirectory(), host::TempDirectory());
  EXPECT_EQ(FSession.Progress(), 20);
  EXPECT_EQ(FSession.ProgressPercent(), 5);
  EXPECT_FALSE(FSession.ForceBufferFlush());
  EXPECT_FALSE(FSession.StrictChangeDetection());
  EXPECT_EQ(FSession.LockRetries(), 15);
  EXPECT_EQ(FSession.LockWait(), 100);
  EXPECT_EQ(FSession.LockProtocol(), lpPessimistic);
  EXPECT_FALSE(FSession.IsRemote());
  EXPECT_FALSE(FSession.InsideEngine());
  EXPECT_EQ(FSession.PasswordCount(), 0u);
  // Remote client settings.
  EXPECT_EQ(FSession.EncryptPassword(), "cairnsecret");
  EXPECT_FALSE(FSession.IsEncrypted());
  EXPECT_EQ(FSession.PingInterval(), 60);
  EXPECT_EQ(FSession.TimeOut(), 300);
  EXPECT_EQ(FSession.Port(), 12005);
  EXPECT_EQ(FSession.Compression(), 0);
  EXPECT_EQ(FSession.Address(), "127.0.0.1");
}

TEST_F(DataSessionTest, ProgressPercentIsTheShareOfOneStep) {
  const std::pair<int, int> cases[] = {{0, 100}, {1, 100}, {3, 33}, {20, 5}, {100, 1}, {150, 0}};
  for (const auto& [progress, percent] : cases) {
    FSession.SetProgress(static_cast<uint16_t>(progress));
    EXPECT_EQ(FSession.ProgressPercent(), percent) << progress;
  }
}

TEST_F(DataSessionTest, PrivateDirectoryIsTrimmedAndEndsInADelimiter) {
  const std::string current = host::IncludeTrailingDelimiter(host::CurrentDirectory());
  const std::pair<const char*, std::string> cases[] = {
      {"/var/tmp/cairn", "/var/tmp/cairn/"},
      {"  /var/tmp/cairn/  ", "/var/tmp/cairn/"},
      {"relative", "relative/"},
      {"", current},
      {"   ", current},
  };
  for (const auto& [assigned, read] : cases) {
    FSession.SetPrivateDirectory(assigned);
    EXPECT_EQ(FSession.PrivateDirectory(), read) << "'" << assigned << "'";
  }
}

TEST_F(DataSessionTest, PasswordsIgnoreEmptyAndKnownTexts) {
  for (const char* text : {"secret", "", "secret", "Secret", "secret "}) FSession.AddPassword(text);
  EXPECT_EQ(FSession.PasswordCount(), 3u);
  ASSERT_NE(FSession.FindPassword("Secret"), nullptr);
  EXPECT_EQ(FSession.FindPassword("Secret")->Digest(), MD5Digest("Secret"));
  EXPECT_EQ(&FSession.FindPassword("secret")->DataSession(), &FSession);
  EXPECT_EQ(FSession.FindPassword("SECRET"), nullptr);

  FSession.DeletePassword("secret");
  FSession.DeletePassword("unknown");
  EXPECT_EQ(FSession.PasswordCount(), 2u);
  EXPECT_EQ(FSession.FindPassword("secret"), nullptr);
  FSession.DeleteAllPasswords();
  EXPECT_EQ(FSession.PasswordCount(), 0u);
}

TEST_F(DataSessionTest, CheckValueIsTheDigestEncipheredWithItsOwnKey) {
  FSession.AddPassword("kalvora");
  const TDataPassword& password = *FSession.FindPassword("kalvora");
  TMD5Digest expected = MD5Digest("kalvora");
  TBlowfishCBC cipher;
  cipher.SetKey(expected.Bytes.data(), expected.Bytes.size());
  cipher.Encrypt(expected.Bytes.data(), expected.Bytes.size());
  EXPECT_EQ(password.CheckValue(), expected);
  EXPECT_NE(password.CheckValue(), password.Digest());

  FSession.AddPassword("other");
  EXPECT_EQ(FSession.GetDataPassword(expected), &password);
  EXPECT_TRUE(FSession.CheckForPassword(expected));
  const TMD5Digest foreign = FSession.FindPassword("other")->CheckValue();
  FSession.DeletePassword("other");
  EXPECT_FALSE(FSession.CheckForPassword(foreign));
  EXPECT_EQ(FSession.GetDataPassword(foreign), nullptr);
}

TEST_F(DataSessionTest, AskForPasswordRetriesOnlyWhenTheCallbackSaysSo) {
  EXPECT_FALSE(FSession.AskForPassword());  // nobody to ask
  int asked = 0;
  FSession.SetPasswordCallback([&](TDataSession& session) {
    session.AddPassword("given");
    return ++asked == 1;
  });
  EXPECT_TRUE(FSession.AskForPassword());
  EXPECT_NE(FSession.FindPassword("given"), nullptr);
  EXPECT_FALSE(FSession.AskForPassword());
  EXPECT_EQ(asked, 2);
}

// Adds the first key byte to every byte: enough to see whose cipher is in use.
class TAddCipher : public TCipher {
 public:
  explicit TAddCipher(uint8_t key) : FKey(key) {}
  void Encrypt(void* buffer, size_t length) const override {
    for (size_t i = 0; i < length; ++i) static_cast<uint8_t*>(buffer)[i] += FKey;
  }
  void Decrypt(void* buffer, size_t length) const override {
    for (size_t i = 0; i < length; ++i) static_cast<uint8_t*>(buffer)[i] -= FKey;
  }

 private:
  uint8_t FKey;
};

TEST_F(DataSessionTest, CryptoInitHookSuppliesTheKeys) {
  size_t keyLength = 0;
  FEngine.SetCryptoInitHook([&](const void* key, size_t length) -> std::unique_ptr<TCipher> {
    keyLength = length;
    return std::make_unique<TAddCipher>(*static_cast<const uint8_t*>(key));
  });
  FSession.AddPassword("hooked");
  const TDataPassword& password = *FSession.FindPassword("hooked");
  EXPECT_EQ(keyLength, 16u);
  TMD5Digest expected = MD5Digest("hooked");
  const uint8_t key = expected.Bytes[0];
  for (uint8_t& b : expected.Bytes) b += key;
  EXPECT_EQ(password.CheckValue(), expected);
  EXPECT_TRUE(FSession.CheckForPassword(expected));

  FEngine.SetCryptoInitHook([](const void*, size_t) { return std::unique_ptr<TCipher>(); });
  EXPECT_THROW(FSession.AddPassword("no cipher"), std::logic_error);
  EXPECT_EQ(FSession.FindPassword("no cipher"), nullptr);
}

}  // namespace
}  // namespace cairn
