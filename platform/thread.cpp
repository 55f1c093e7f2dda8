// SPDX-License-Identifier: Apache-2.0
#include "platform/thread.h"

#include "platform/last_error.h"

#include <dirent.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace tarn::platform {

struct CThread::Shared {
  std::mutex lock;
  std::condition_variable changed;
  bool running = true;
  bool stop = false;
  DWORD exitCode = STILL_ACTIVE;
};

namespace {

thread_local CThread::Shared* t_current = nullptr;

void RaisePriorityBestEffort() {
  // Linux threads carry their own nice value; -1 is "above normal". Without
  // CAP_SYS_NICE this fails with EACCES, which is fine.
  const pid_t tid = static_cast<pid_t>(::syscall(SYS_gettid));
  errno = 0;
  const int current = ::getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
  if (errno == 0) ::setpriority(PRIO_PROCESS, static_cast<id_t>(tid), current - 1);
}

void Finish(CThread::Shared& shared, DWORD code) {
  std::lock_guard<std::mutex> guard(shared.lock);
  shared.exitCode = code;
  shared.running = false;
  shared.changed.notify_all();
}

}  // namespace

CThread::CThread(std::shared_ptr<Shared> shared) : shared_(std::move(shared)) {}

CThread::~CThread() = default;

std::shared_ptr<CThread> CThread::Create(std::function<DWORD()> body) {
  auto shared = std::make_shared<Shared>();
  try {
    std::thread worker([shared, body = std::move(body)]() mutable {
      t_current = shared.get();
      RaisePriorityBestEffort();
      DWORD code = 0;
      try {
        code = body();
      } catch (const ThreadUnwind& unwind) {
        code = unwind.exitCode;
      }
      // Whatever the body captured goes before the thread counts as ended, so
      // that a waiter may free what it pointed to.
      body = nullptr;
      t_current = nullptr;
      Finish(*shared, code);
    });
    worker.detach();
  } catch (const std::system_error&) {
    return nullptr;
  }
  return std::shared_ptr<CThread>(new CThread(shared));
}

bool CThread::IsRunning() const {
  std::lock_guard<std::mutex> guard(shared_->lock);
  return shared_->running;
}

DWORD CThread::ExitCode() const {
  std::lock_guard<std::mutex> guard(shared_->lock);
  return shared_->running ? STILL_ACTIVE : shared_->exitCode;
}

void CThread::RequestStop() {
  std::lock_guard<std::mutex> guard(shared_->lock);
  shared_->stop = true;
  shared_->changed.notify_all();
}

bool CThread::StopRequested() const {
  std::lock_guard<std::mutex> guard(shared_->lock);
  return shared_->stop;
}

bool CThread::WaitEnded(std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> guard(shared_->lock);
  return shared_->changed.wait_for(guard, timeout, [this] { return !shared_->running; });
}

void CThread::WaitEnded() const {
  std::unique_lock<std::mutex> guard(shared_->lock);
  shared_->changed.wait(guard, [this] { return !shared_->running; });
}

bool StopRequestedHere() {
  if (t_current == nullptr) return false;
  std::lock_guard<std::mutex> guard(t_current->lock);
  return t_current->stop;
}

void CheckStop() {
  if (StopRequestedHere()) EndThisThread(0);
}

bool SleepInterruptible(std::chrono::nanoseconds real) {
  if (t_current == nullptr) {
    if (real.count() > 0) std::this_thread::sleep_for(real);
    return true;
  }
  std::unique_lock<std::mutex> guard(t_current->lock);
  return !t_current->changed.wait_for(guard, real, [] { return t_current->stop; });
}

void EndThisThread(DWORD code) { throw ThreadUnwind{code}; }

DWORD CurrentThreadId() { return static_cast<DWORD>(::syscall(SYS_gettid)); }

int ProcessThreadCount() {
  int count = 0;
  if (DIR* dir = ::opendir("/proc/self/task")) {
    while (const dirent* entry = ::readdir(dir)) {
      if (entry->d_name[0] != '.') ++count;
    }
    ::closedir(dir);
  }
  return count;
}

}  // namespace tarn::platform

namespace {
thread_local DWORD t_lastError = 0;
}

DWORD GetLastError() { return t_lastError; }
void SetLastError(DWORD code) { t_lastError = code; }
