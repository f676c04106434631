// A value handed to AppendRecord: one of the forms a field object takes, or no value at all.
//
// Unassigned leaves a field as the new record has it (its default); null clears it, overriding a
// default.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

namespace cairn {

struct TUnassigned {};
struct TNullValue {};
// A money value.
struct TCurrencyValue {
  double Value = 0;
};
// Days since 1899-12-30 with the time as the fraction.
struct TDateTimeValue {
  double Value = 0;
};

using TCairnValue = std::variant<TUnassigned, TNullValue, int32_t, int64_t, bool, double,
                                 TCurrencyValue, std::string, TDateTimeValue>;

}  // namespace cairn
