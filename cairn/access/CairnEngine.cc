#include "cairn/access/CairnEngine.h"

#include <memory>
#include <mutex>
#include <stdexcept>

#include "cairn/access/CairnSession.h"

namespace cairn {

namespace {

// The component layer's one piece of process state. Plain pointers: nothing here runs at process
// exit, when the host's own statics may already be gone; FinalizeComponentLayer ends it.
struct TComponentLayer {
  std::recursive_mutex Lock;
  TCairnEngineInstance* Instance = nullptr;  // shared by every engine component
  int EngineCount = 0;
  TCairnEngine* Engine = nullptr;  // the process's own engine component
  bool Finalizing = false;
};

TComponentLayer& Layer() {
  static TComponentLayer* layer = new TComponentLayer;
  return *layer;
}

// Creates the process's engine component and the default session once.
void StartComponentLayer() {
  TComponentLayer& layer = Layer();
  if (layer.Engine != nullptr) return;
  // Whatever the settings object frees must not start a new layer under it.
  if (layer.Finalizing) throw std::logic_error("The component layer is being finalised");
  layer.Engine = new TCairnEngine(nullptr);
  TCairnEngineInstance& instance = *layer.Instance;
  if (instance.DefaultSession() != nullptr) return;
  auto session = std::make_unique<TCairnSession>(nullptr, instance);
  session->SetSessionName("Default");
  instance.AdoptSession(std::move(session));
}

}  // namespace

TCairnEngine::TCairnEngine(TComponent* owner) : TComponent(owner) {
  TComponentLayer& layer = Layer();
  std::lock_guard lock(layer.Lock);
  if (layer.Instance == nullptr) layer.Instance = new TCairnEngineInstance;
  ++layer.EngineCount;
}

TCairnEngine::~TCairnEngine() {
  TComponentLayer& layer = Layer();
  std::lock_guard lock(layer.Lock);
  if (layer.Engine == this) layer.Engine = nullptr;
  if (--layer.EngineCount > 0) return;
  layer.Finalizing = true;
  delete layer.Instance;
  layer.Instance = nullptr;
  layer.Finalizing = false;
}

TCairnEngineInstance& TCairnEngine::Instance() {
  return *Layer().Instance;
}

void TCairnEngine::SetActive(bool value) {
  if (Loading()) {
    FStreamedActive = value;
    return;
  }
  Instance().SetActive(value);
}

void TCairnEngine::Loaded() {
  SetLoading(false);
  if (FStreamedActive) SetActive(true);
}

TCairnEngine& CairnEngine() {
  std::lock_guard lock(Layer().Lock);
  StartComponentLayer();
  return *Layer().Engine;
}

TCairnEngineInstance& CairnEngineInstance() {
  std::lock_guard lock(Layer().Lock);
  StartComponentLayer();
  return *Layer().Instance;
}

TCairnSession& DefaultSession() {
  return *CairnEngineInstance().DefaultSession();
}

void FinalizeComponentLayer() {
  TComponentLayer& layer = Layer();
  std::lock_guard lock(layer.Lock);
  delete layer.Engine;  // clears layer.Engine
}

}  // namespace cairn
