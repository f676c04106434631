// A fixture that gives each test a fresh component layer and a temporary folder.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "cairn/access/CairnEngine.h"
#include "tests/support/TempDir.h"

namespace cairn::test {

class ComponentLayerTest : public ::testing::Test {
 protected:
  void SetUp() override { FinalizeComponentLayer(); }
  void TearDown() override { FinalizeComponentLayer(); }

  static bool FileExists(const std::string& path) { return std::filesystem::exists(path); }

  TTempDir Temp;
};

}  // namespace cairn::test
