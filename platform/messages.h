// SPDX-License-Identifier: Apache-2.0
// Synchronous messages from job threads to their host.
//
// A host (the window, the command-line host, a test) creates a message target
// on its own thread and makes it the main window. A job thread's send waits
// until the host has handled the message on the host's thread and returns the
// handler's result; pointers carried in a message are valid only during that
// call. A host that goes away first detaches its target: pending sends and
// every later one return 0 at once, so a job never blocks on a closed host.
#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include "platform/win_types.h"

namespace tarn::platform {

class CMessageTarget {
 public:
  using Handler = std::function<LRESULT(UINT message, WPARAM wParam, LPARAM lParam)>;
  // Called on the sending thread after a message was queued, so that the host
  // can arrange for DispatchPending() to run on its own thread.
  using Waker = std::function<void()>;

  // The calling thread becomes the host thread of the new target.
  static std::shared_ptr<CMessageTarget> Create(Handler handler, Waker waker = {});
  ~CMessageTarget();
  CMessageTarget(const CMessageTarget&) = delete;
  CMessageTarget& operator=(const CMessageTarget&) = delete;

  // From any thread. On the host thread the handler runs directly.
  LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam);
  // Host thread: handles every queued message in arrival order; returns how many.
  std::size_t DispatchPending();
  // Host thread: waits up to `timeout` for a message, then dispatches what is
  // queued; returns how many were handled.
  std::size_t WaitAndDispatch(std::chrono::milliseconds timeout);
  // Host thread: no more messages are handled; pending and later sends return 0.
  void Detach();
  bool IsDetached() const;

  struct State;

 private:
  CMessageTarget();
  std::unique_ptr<State> state_;
};

using HWND = std::shared_ptr<CMessageTarget>;

void SetMainWindow(HWND target);
HWND GetMainWindow();

// Query that stands in for a job reading one of the main window's controls:
// wParam is the control id; the host answers (state << 1) | 1 when it has the
// control, 0 when it has not. A detached or missing host answers 0 too.
constexpr UINT WM_HOST_QUERY_CONTROL = WM_USER + 200;
inline LRESULT ControlAnswer(int state) { return (static_cast<LRESULT>(state) * 2) | 1; }
// Sends the query to the main window; true and the state when the control exists.
bool QueryHostControl(int controlId, int* state);

}  // namespace tarn::platform

// Sends a message to `target` and waits for its result; 0 when there is none.
LRESULT SendMessageW(const tarn::platform::HWND& target, UINT message, WPARAM wParam, LPARAM lParam);
