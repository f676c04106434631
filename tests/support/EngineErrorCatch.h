// The error an action raises, caught so that a test can check it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>

#include "cairn/error/EngineError.h"

namespace cairn::test {

// The engine error an action raises; fails the test when none is raised.
template <typename F>
ECairnEngineError ErrorOf(F&& action) {
  try {
    action();
  } catch (const ECairnEngineError& error) {
    return error;
  }
  ADD_FAILURE() << "no engine error raised";
  return ECairnEngineError(0, {});
}

// The code of the engine error an action raises; 0 (and a test failure) when none is raised.
template <typename F>
uint16_t ErrorCodeOf(F&& action) {
  return ErrorOf(std::forward<F>(action)).ErrorCode();
}

// The code of the engine error an action raises; 0 when it raises none, which is no failure in
// itself: for checks where either outcome is asked about.
template <typename F>
int EngineErrorCode(F&& action) {
  try {
    action();
  } catch (const ECairnEngineError& error) {
    return error.ErrorCode();
  }
  return 0;
}

// The message of the database error (engine errors included) an action raises; fails the test
// when none is raised.
template <typename F>
std::string ErrorText(F&& action) {
  try {
    action();
  } catch (const EDatabaseError& error) {
    return error.Message();
  }
  ADD_FAILURE() << "no database error raised";
  return {};
}

}  // namespace cairn::test
