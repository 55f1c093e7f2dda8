// SPDX-License-Identifier: Apache-2.0
#include "cli/wall_time.h"

#include <cstdio>
#include <ctime>

namespace tarn::cli {

std::string Rfc3339Utc(std::chrono::system_clock::time_point time) {
  using namespace std::chrono;
  const auto ms = time_point_cast<milliseconds>(time).time_since_epoch().count();
  // Floor division, so that times before 1970 stay in their second too.
  const long long millis = ((ms % 1000) + 1000) % 1000;
  const std::time_t seconds = static_cast<std::time_t>((ms - millis) / 1000);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[96];  // room for any int fields, as the compiler checks
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03lldZ", utc.tm_year + 1900, utc.tm_mon + 1,
                utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, millis);
  return text;
}

}  // namespace tarn::cli
