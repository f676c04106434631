#include "cairn/access/Component.h"

namespace cairn {

TComponent::~TComponent() = default;

void TComponent::SetName(const std::string& name) {
  FName = name;
}

void TComponent::SetLoading(bool loading) {
  if (loading) {
    FComponentState.Include(csLoading);
  } else {
    FComponentState.Exclude(csLoading);
  }
}

}  // namespace cairn
