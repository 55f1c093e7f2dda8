// SPDX-License-Identifier: Apache-2.0
#include "platform/messages.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "platform/thread.h"

namespace tarn::platform {

namespace {
struct Request {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  bool taken = false;
  bool done = false;
  LRESULT result = 0;
};
}  // namespace

struct CMessageTarget::State {
  Handler handler;
  Waker waker;
  std::thread::id host;
  std::mutex lock;
  std::condition_variable changed;
  std::deque<std::shared_ptr<Request>> queue;
  bool detached = false;
};

CMessageTarget::CMessageTarget() : state_(std::make_unique<State>()) {}

CMessageTarget::~CMessageTarget() = default;

std::shared_ptr<CMessageTarget> CMessageTarget::Create(Handler handler, Waker waker) {
  std::shared_ptr<CMessageTarget> target(new CMessageTarget());
  target->state_->handler = std::move(handler);
  target->state_->waker = std::move(waker);
  target->state_->host = std::this_thread::get_id();
  return target;
}

LRESULT CMessageTarget::Send(UINT message, WPARAM wParam, LPARAM lParam) {
  State& s = *state_;
  if (std::this_thread::get_id() == s.host) {
    if (s.detached || !s.handler) return 0;
    return s.handler(message, wParam, lParam);
  }
  auto request = std::make_shared<Request>(Request{message, wParam, lParam});
  {
    std::lock_guard<std::mutex> guard(s.lock);
    if (s.detached) return 0;
    s.queue.push_back(request);
    s.changed.notify_all();
  }
  if (s.waker) s.waker();
  std::unique_lock<std::mutex> guard(s.lock);
  while (!request->done) {
    s.changed.wait_for(guard, std::chrono::milliseconds(50));
    if (!request->done && !request->taken && StopRequestedHere()) {
      // A stopped job leaves before the host saw its message; once the host
      // has taken it, the job must wait, since the message points into it.
      for (auto it = s.queue.begin(); it != s.queue.end(); ++it) {
        if (*it == request) {
          s.queue.erase(it);
          break;
        }
      }
      guard.unlock();
      EndThisThread(0);
    }
  }
  return request->result;
}

std::size_t CMessageTarget::DispatchPending() {
  State& s = *state_;
  std::size_t handled = 0;
  for (;;) {
    std::shared_ptr<Request> request;
    {
      std::lock_guard<std::mutex> guard(s.lock);
      if (s.detached || s.queue.empty()) return handled;
      request = s.queue.front();
      s.queue.pop_front();
      request->taken = true;
    }
    const LRESULT result = s.handler ? s.handler(request->message, request->wParam, request->lParam) : 0;
    {
      std::lock_guard<std::mutex> guard(s.lock);
      request->result = result;
      request->done = true;
      s.changed.notify_all();
    }
    ++handled;
  }
}

std::size_t CMessageTarget::WaitAndDispatch(std::chrono::milliseconds timeout) {
  State& s = *state_;
  {
    std::unique_lock<std::mutex> guard(s.lock);
    s.changed.wait_for(guard, timeout, [&s] { return s.detached || !s.queue.empty(); });
  }
  return DispatchPending();
}

void CMessageTarget::Detach() {
  State& s = *state_;
  std::lock_guard<std::mutex> guard(s.lock);
  s.detached = true;
  for (auto& request : s.queue) {
    request->result = 0;
    request->done = true;
  }
  s.queue.clear();
  s.changed.notify_all();
}

bool CMessageTarget::IsDetached() const {
  std::lock_guard<std::mutex> guard(state_->lock);
  return state_->detached;
}

namespace {
std::mutex g_mainLock;
HWND g_hMainWnd;
}  // namespace

void SetMainWindow(HWND target) {
  std::lock_guard<std::mutex> guard(g_mainLock);
  g_hMainWnd = std::move(target);
}

HWND GetMainWindow() {
  std::lock_guard<std::mutex> guard(g_mainLock);
  return g_hMainWnd;
}

bool QueryHostControl(int controlId, int* state) {
  const LRESULT answer = SendMessageW(GetMainWindow(), WM_HOST_QUERY_CONTROL, static_cast<WPARAM>(controlId), 0);
  if ((answer & 1) == 0) return false;
  if (state) *state = static_cast<int>(answer >> 1);
  return true;
}

}  // namespace tarn::platform

LRESULT SendMessageW(const tarn::platform::HWND& target, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!target) return 0;
  return target->Send(message, wParam, lParam);
}
