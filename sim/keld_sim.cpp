// SPDX-License-Identifier: Apache-2.0
#include "sim/keld_sim.h"

#include <algorithm>

#include "platform/port_names.h"
#include "sim/sim_phone_impl.h"

namespace tarn::sim {
namespace {

constexpr auto kUnplugWait = std::chrono::seconds(5);

}  // namespace

SimPhone::SimPhone(PhoneConfig config) : config_(std::move(config)) {}

SimPhone::~SimPhone() { Stop(); }

std::string SimPhone::ValueName() const {
  using tarn::platform::ValueKind;
  return tarn::platform::MakeValueName(config_.kind == PortKind::Dm ? ValueKind::Dm : ValueKind::Em, config_.index);
}

bool SimPhone::Start() {
  if (impl_) return false;  // a phone starts once
  if (!config_.outputDir.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(config_.outputDir, ec);
  }
  auto impl = std::make_unique<Impl>(config_);
  impl->valueName = ValueName();
  impl->Prepare(config_.preparedBytes);
  if (!impl->Plug()) {
    startError_ = impl->pty.OpenError();
    return false;
  }
  impl_ = std::move(impl);
  impl_->thread = std::thread([impl = impl_.get()] { impl->Serve(); });
  return true;
}

void SimPhone::Stop() {
  if (!impl_ || impl_->stop.load()) return;
  impl_->stop = true;
  impl_->interrupt = true;
  if (impl_->thread.joinable()) impl_->thread.join();
  if (impl_->pty.IsOpen()) impl_->Unplug();
}

void SimPhone::Unplug() {
  if (!impl_ || impl_->stop.load()) return;
  std::unique_lock<std::mutex> guard(impl_->lock);
  if (!impl_->plugged) return;
  impl_->unplugRequest = true;
  impl_->interrupt = true;
  impl_->changed.wait_for(guard, kUnplugWait, [&] { return !impl_->plugged; });
}

std::filesystem::path SimPhone::TtyPath() const {
  if (!impl_) return {};
  std::lock_guard<std::mutex> guard(impl_->lock);
  return impl_->ttyPath;
}

std::vector<CommandRecord> SimPhone::Commands() const {
  if (!impl_) return {};
  std::lock_guard<std::mutex> guard(impl_->lock);
  return impl_->commands;
}

Counters SimPhone::Stats() const {
  if (!impl_) return {};
  std::lock_guard<std::mutex> guard(impl_->lock);
  return impl_->counters;
}

std::optional<ParamRecord> SimPhone::LastParamWritten() const {
  if (!impl_) return std::nullopt;
  std::lock_guard<std::mutex> guard(impl_->lock);
  return impl_->lastParam;
}

bool SimPhone::WaitForCommand(int code, std::chrono::milliseconds timeout) const {
  if (!impl_) return false;
  std::unique_lock<std::mutex> guard(impl_->lock);
  return impl_->changed.wait_for(guard, timeout, [&] {
    return std::any_of(impl_->commands.begin(), impl_->commands.end(),
                       [code](const CommandRecord& r) { return r.code == code; });
  });
}

}  // namespace tarn::sim
