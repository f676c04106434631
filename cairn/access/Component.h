// The base of the named components (engine, session, database and table objects).
//
// A component has a name, an owner it does not own, and a state; the loading state marks a
// component whose properties are being read back from a stored description.
#pragma once

#include <cstdint>
#include <string>

#include "cairn/access/Set.h"

namespace cairn {

enum TComponentStateFlag : uint8_t { csLoading };
using TComponentState = TSet<TComponentStateFlag>;

class TComponent {
 public:
  explicit TComponent(TComponent* owner = nullptr) : FOwner(owner) {}
  virtual ~TComponent();
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  const std::string& Name() const { return FName; }
  virtual void SetName(const std::string& name);
  TComponent* Owner() const { return FOwner; }

  TComponentState ComponentState() const { return FComponentState; }
  bool Loading() const { return FComponentState.Contains(csLoading); }
  void SetLoading(bool loading);

 private:
  std::string FName;
  TComponent* FOwner;
  TComponentState FComponentState;
};

}  // namespace cairn
