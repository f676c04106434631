// The text of the database error a call raises.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "cairn/access/EngineError.h"

namespace cairn {

// Runs fn and returns the message of the EDatabaseError it raises; fails the test when it raises
// none.
template <class Fn>
std::string ErrorText(Fn&& fn) {
  try {
    fn();
  } catch (const EDatabaseError& e) {
    return e.Message();
  }
  ADD_FAILURE() << "no database error raised";
  return {};
}

}  // namespace cairn
