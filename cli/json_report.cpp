// SPDX-License-Identifier: Apache-2.0
#include "cli/json_report.h"

#include <cmath>
#include <nlohmann/json.hpp>

#include "cli/output_streams.h"
#include "engine/events.h"
#include "host/job_event.h"
#include "tarn/version.h"

namespace tarn::cli {

namespace {

using Json = nlohmann::ordered_json;

// Durations to the millisecond: finer digits would only be noise.
double Seconds(double seconds) { return std::round(seconds * 1000.0) / 1000.0; }

Json ImageOf(const ImageInfo& image) {
  Json json = {{"path", image.path}, {"bytes", image.bytes}};
  if (!image.sha256.empty()) json["sha256"] = image.sha256;
  return json;
}

Json OptionsOf(const BatchInfo& info) {
  return {{"boot_update", info.bootUpdate},
          {"boot_format", info.bootFormat},
          {"csa_clear", info.csaClear},
          {"auto_reboot", info.autoReboot},
          {"phone_boot_update", info.phoneBootUpdate},
          {"factory_mode", info.factoryMode},
          {"stratine", info.stratine},
          {"nation", info.nation},
          {"answer_timeout", info.answerTimeout},
          {"ports", info.ports},
          {"ports_from_map", info.portsFromMap}};
}

Json ImagesOf(const BatchInfo& info) {
  Json images = Json::object();
  if (info.pda) images["pda"] = ImageOf(*info.pda);
  if (info.csc) images["csc"] = ImageOf(*info.csc);
  if (info.phone) images["phone"] = ImageOf(*info.phone);
  images["job_bytes"] = info.jobBytes;
  return images;
}

// What the per-slot `result` and the summary's slots share.
Json SlotOutcome(const SlotSummary& summary) {
  return {{"slot", summary.slot},
          {"port", summary.port},
          {"result", ResultName(ResultOf(summary))},
          {"reason", Utf8Of(ReasonOf(summary))},
          {"files_done", summary.filesDone},
          {"bytes", summary.bytes},
          {"seconds", Seconds(summary.seconds)}};
}

// Paths come as the bytes the user gave, which need not be UTF-8 (a file
// named in another encoding): such bytes go out as U+FFFD, where the default
// would throw and end the program in the middle of a batch.
std::string Dump(const Json& json) { return json.dump(-1, ' ', false, Json::error_handler_t::replace); }

Json Record(const char* type, std::chrono::system_clock::time_point time) {
  return {{"type", type}, {"time", Rfc3339Utc(time)}};
}

// A job message's object: type, time, slot, then its own fields.
std::string Event(const char* type, std::chrono::system_clock::time_point time, int slot, const Json& fields) {
  Json event = Record(type, time);
  event["slot"] = slot;
  event.update(fields);
  return Dump(event);
}

}  // namespace

const char* StateName(int code) {
  switch (code) {
    case STATE_ERROR: return "error";
    case STATE_PDA_START: return "pda_start";
    case STATE_PDA_END: return "pda_end";
    case STATE_PHONE_START: return "phone_start";
    case STATE_PHONE_END: return "phone_end";
    case STATE_PHONE_UPDATE: return "phone_update";
    case STATE_REBOOT: return "reboot";
    case STATE_FORMAT: return "format";
    case STATE_WAIT: return "completion_wait";
    default: return "unknown";
  }
}

std::string SummaryRecord(const BatchSummary& summary) {
  Json record = Record("summary", summary.ended);
  Json slots = Json::array();
  int counts[3] = {0, 0, 0};
  for (const auto& slot : summary.slots) {
    slots.push_back(SlotOutcome(slot));
    ++counts[static_cast<int>(ResultOf(slot))];
  }
  record["slots"] = slots;
  record["counts"] = {{"passed", counts[static_cast<int>(SlotResult::Pass)]},
                      {"failed", counts[static_cast<int>(SlotResult::Fail)]},
                      {"stopped", counts[static_cast<int>(SlotResult::Stopped)]}};
  record["seconds"] = Seconds(summary.seconds);
  record["exit_status"] = summary.exitStatus;
  // Which firmware went in, in the report file too: it is all a script keeps.
  if (!summary.digests.empty()) {
    Json images = Json::array();
    for (const auto& digest : summary.digests)
      images.push_back({{"role", digest.role}, {"path", digest.path}, {"sha256", digest.sha256}});
    record["images"] = images;
  }
  return Dump(record);
}

void JsonReport::Write(const std::string& line) { WriteStream(out_, line + "\n"); }

void JsonReport::BatchStarted(const BatchInfo& info) {
  Json record = Record("start", now_());
  record["schema"] = 1;
  record["version"] = TARN_VERSION;
  record["options"] = OptionsOf(info);
  record["images"] = ImagesOf(info);
  Write(Dump(record));
}

void JsonReport::JobStarted(int slot, int port, bool restart) {
  Write(Event("job", now_(), slot, {{"port", port}, {"restart", restart}}));
}

void JsonReport::Text(int slot, const std::wstring& text) {
  Write(Event("text", now_(), slot, {{"text", Utf8Of(host::WithoutLineEnd(text))}}));
}

void JsonReport::Error(int slot, const std::wstring& text) {
  Write(Event("error", now_(), slot, {{"text", Utf8Of(host::WithoutLineEnd(text))}}));
}

void JsonReport::Progress(int slot, int overall, int file) {
  Write(Event("progress", now_(), slot, {{"overall", overall}, {"file", file}}));
}

void JsonReport::State(int slot, int code) {
  Write(Event("state", now_(), slot, {{"code", code}, {"name", StateName(code)}}));
}

void JsonReport::Files(int total, int done) {
  Json record = Record("files", now_());
  record["total"] = total;
  record["done"] = done;
  Write(Dump(record));
}

void JsonReport::Pass(int slot, int filesDone) { Write(Event("pass", now_(), slot, {{"files_done", filesDone}})); }

void JsonReport::Summary(const SlotSummary& summary) {
  Json record = Record("result", now_());
  record.update(SlotOutcome(summary));
  auto errors = Json::array();
  for (const auto& error : summary.errors) errors.push_back(Utf8Of(host::WithoutLineEnd(error)));
  record["errors"] = errors;
  Write(Dump(record));
}

void JsonReport::BatchEnded(const BatchSummary& summary) { Write(SummaryRecord(summary)); }

}  // namespace tarn::cli
