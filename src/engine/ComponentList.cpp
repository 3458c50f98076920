#include "engine/ComponentList.h"

#include <algorithm>

#include "engine/EngineSettings.h"
#include "engine/FTPComponent.h"

namespace pelmar {
namespace {

// All on the user-interface thread.
struct TComponentList {
  std::vector<TFTPComponent*> Components;
  TFTPComponent* TimerOwner = nullptr;
  int TimerId = 0;
};

TComponentList& List() {
  static TComponentList list;
  return list;
}

void StartTimerOn(TFTPComponent* component) {
  auto& list = List();
  list.TimerOwner = component;
  list.TimerId = component->Target().StartTimer(kKeepAliveIntervalMs, [] { KeepAlivePass(); });
}

}  // namespace

void RegisterComponent(TFTPComponent* component) {
  auto& list = List();
  if (list.Components.empty()) StartTimerOn(component);
  list.Components.push_back(component);
}

void BeginUnregisterComponent(TFTPComponent* component) {
  auto& list = List();
  if (list.TimerOwner == component) {
    component->Target().KillTimer(list.TimerId);
    list.TimerId = 0;
  }
}

void EndUnregisterComponent(TFTPComponent* component) {
  auto& list = List();
  const bool wasTimerOwner = list.TimerOwner == component;
  list.Components.erase(std::remove(list.Components.begin(), list.Components.end(), component),
                        list.Components.end());
  if (!wasTimerOwner) return;
  list.TimerOwner = nullptr;
  if (!list.Components.empty()) StartTimerOn(list.Components.front());
}

const std::vector<TFTPComponent*>& AllComponents() {
  return List().Components;
}
TFTPComponent* KeepAliveTimerOwner() {
  return List().TimerOwner;
}
int KeepAliveTimerId() {
  return List().TimerId;
}

void KeepAlivePass() {
  if (!EngineSettings().FTPKeepAlive.load()) return;
  // Posting never changes the list, but copy it so a handler-free pass stays simple to reason
  // about.
  const std::vector<TFTPComponent*> components = List().Components;
  for (TFTPComponent* component : components) {
    component->IdleSeconds += 10;
    if (component->IdleSeconds > 30 && component->IsConnected() && component->LoggedIn &&
        !component->IsBusy()) {
      component->KeepAlive();
    }
  }
}

}  // namespace pelmar
