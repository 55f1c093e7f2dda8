// SPDX-License-Identifier: Apache-2.0
#include "host/sleep_inhibitor.h"

#include <fcntl.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/clock.h"
#include "support/log.h"

namespace tarn::host {

namespace {

constexpr const char* kModule = "./SleepInhibitor";
constexpr const char* kWho = "Tarn Multi Downloader";

// Frees what sd-bus hands out, on every way out of Take.
struct BusCall {
  sd_bus* bus = nullptr;
  sd_bus_message* reply = nullptr;
  sd_bus_error error = SD_BUS_ERROR_NULL;
  ~BusCall() {
    sd_bus_error_free(&error);
    sd_bus_message_unref(reply);
    sd_bus_flush_close_unref(bus);
  }
};

int OpenBus(const std::string* address, sd_bus** bus) {
  if (!address) return sd_bus_open_system(bus);
  int r = sd_bus_new(bus);
  if (r < 0) return r;
  r = sd_bus_set_address(*bus, address->c_str());
  if (r >= 0) r = sd_bus_set_bus_client(*bus, 1);
  if (r >= 0) r = sd_bus_start(*bus);
  return r;
}

void LogNotHeld(const char* step, const std::string& cause) {
  TLOG_FILE(kModule, L"Sleep is not held off (%s): %s; the batch goes on\n", step, cause.c_str());
}

}  // namespace

SleepInhibitor::SleepInhibitor(int phones) { Take(phones, nullptr); }

SleepInhibitor::SleepInhibitor(int phones, const std::string& busAddress) { Take(phones, &busAddress); }

SleepInhibitor::~SleepInhibitor() {
  if (m_fd >= 0) close(m_fd);
}

void SleepInhibitor::Take(int phones, const std::string* busAddress) {
  BusCall call;
  int r = OpenBus(busAddress, &call.bus);
  if (r < 0) {
    LogNotHeld("no bus", std::strerror(-r));
    return;
  }
  const auto timeout = std::chrono::duration_cast<std::chrono::microseconds>(
      tarn::platform::GuardDuration(kCallTimeoutMs));
  sd_bus_message* request = nullptr;
  r = sd_bus_message_new_method_call(call.bus, &request, "org.freedesktop.login1", "/org/freedesktop/login1",
                                     "org.freedesktop.login1.Manager", "Inhibit");
  const std::string why = "Flashing " + std::to_string(phones) + (phones == 1 ? " phone" : " phones");
  if (r >= 0) r = sd_bus_message_append(request, "ssss", "sleep:idle", kWho, why.c_str(), "block");
  if (r >= 0) r = sd_bus_call(call.bus, request, static_cast<std::uint64_t>(timeout.count()), &call.error, &call.reply);
  sd_bus_message_unref(request);
  if (r < 0) {
    LogNotHeld("no login manager", sd_bus_error_is_set(&call.error) ? call.error.message : std::strerror(-r));
    return;
  }
  int fd = -1;
  r = sd_bus_message_read(call.reply, "h", &fd);
  // The descriptor belongs to the reply; the lock lasts as long as a copy of it.
  if (r >= 0) fd = fcntl(fd, F_DUPFD_CLOEXEC, 3);
  if (r < 0 || fd < 0) {
    LogNotHeld("bad answer", std::strerror(r < 0 ? -r : errno));
    return;
  }
  m_fd = fd;
  TLOG_FILE(kModule, L"Sleep held off: %s\n", why.c_str());
}

}  // namespace tarn::host
