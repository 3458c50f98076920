#pragma once
// The list of all engine components, in creation order, and the one keep-alive timer that
// runs on the first of them.

#include <vector>

namespace pelmar {

class TFTPComponent;

inline constexpr int kKeepAliveIntervalMs = 10000;

void RegisterComponent(TFTPComponent* component);
// Destruction in two steps: the timer leaves the component before its worker is told to quit,
// and moves to the next component once this one is out of the list.
void BeginUnregisterComponent(TFTPComponent* component);
void EndUnregisterComponent(TFTPComponent* component);

const std::vector<TFTPComponent*>& AllComponents();
TFTPComponent* KeepAliveTimerOwner();
int KeepAliveTimerId();

// One timer tick: counts idle time and sends NOOP on connections idle for more than 30 s.
void KeepAlivePass();

}  // namespace pelmar
