// SPDX-License-Identifier: Apache-2.0
// tarn-flash's JSON lines over arbitrary texts, paths and clock readings:
// every line parses as JSON, and what went in comes back after parsing: a
// text as its characters (U+FFFD for a value that is no character), a path
// or stratine name byte for byte when it is UTF-8.
#include <fuzzer/FuzzedDataProvider.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "cli/json_report.h"
#include "host/job_event.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

using tarn::cli::BatchInfo;
using tarn::cli::BatchSummary;
using tarn::cli::SlotSummary;

// Either each byte a character (control characters and Latin-1 come often)
// or four bytes at a time as any wchar_t value, negative ones included.
std::wstring WideText(FuzzedDataProvider& input) {
  const bool bytes = input.ConsumeBool();
  const std::string raw = input.ConsumeRandomLengthString(256);
  std::wstring text;
  if (bytes) {
    for (unsigned char c : raw) text += static_cast<wchar_t>(c);
    return text;
  }
  for (std::size_t i = 0; i + sizeof(wchar_t) <= raw.size(); i += sizeof(wchar_t)) {
    wchar_t c;
    std::memcpy(&c, raw.data() + i, sizeof c);
    text += c;
  }
  return text;
}

// The characters a text should come back as.
std::wstring Expected(const std::wstring& text) {
  std::wstring out;
  for (wchar_t c : text) {
    const auto code = static_cast<std::uint32_t>(c);
    out += code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF) ? L'\uFFFD' : c;
  }
  return out;
}

// UTF-8 to characters with the C library's own decoder (a C.UTF-8 locale);
// nullopt for text that is not UTF-8. NULs are decoded one by one, as
// mbstowcs would stop at them. The decoder takes four-byte forms past
// U+10FFFF (lead bytes F5 to F7) as characters, which UTF-8 does not.
std::optional<std::wstring> Decoded(const std::string& utf8) {
  std::wstring out;
  std::mbstate_t state{};
  for (std::size_t i = 0; i < utf8.size();) {
    wchar_t c = 0;
    const std::size_t n = std::mbrtowc(&c, utf8.data() + i, utf8.size() - i, &state);
    if (n == static_cast<std::size_t>(-1) || n == static_cast<std::size_t>(-2)) return std::nullopt;
    if (static_cast<std::uint32_t>(c) > 0x10FFFF) return std::nullopt;
    out += c;
    i += n == 0 ? 1 : n;
  }
  return out;
}

// A job's text or error: as sent, less the line ends the report drops.
void CheckText(const nlohmann::json& value, const std::wstring& sent) {
  if (Decoded(value.get<std::string>()) != Expected(tarn::host::WithoutLineEnd(sent))) std::abort();
}

// A string the report got as bytes: the same bytes back when they are UTF-8.
void CheckBytes(const nlohmann::json& value, const std::string& sent) {
  if (Decoded(sent) && value.get<std::string>() != sent) std::abort();
}

SlotSummary Slot(FuzzedDataProvider& input) {
  SlotSummary slot;
  slot.slot = input.ConsumeIntegral<int>();
  slot.port = input.ConsumeIntegral<int>();
  slot.passed = input.ConsumeBool();
  slot.stopped = input.ConsumeBool();
  slot.filesDone = input.ConsumeIntegral<int>();
  slot.bytes = input.ConsumeIntegral<std::uint64_t>();
  slot.seconds = input.ConsumeFloatingPoint<double>();
  const int errors = input.ConsumeIntegralInRange(0, 3);
  for (int i = 0; i < errors; ++i) slot.errors.push_back(WideText(input));
  return slot;
}

std::optional<tarn::cli::ImageInfo> Image(FuzzedDataProvider& input) {
  if (!input.ConsumeBool()) return std::nullopt;
  return tarn::cli::ImageInfo{input.ConsumeRandomLengthString(128), input.ConsumeIntegral<std::uint64_t>()};
}

BatchInfo Info(FuzzedDataProvider& input) {
  BatchInfo info;
  info.stratine = input.ConsumeRandomLengthString(32);
  info.nation = input.ConsumeIntegral<int>();
  info.answerTimeout = input.ConsumeIntegral<int>();
  info.ports = {input.ConsumeIntegral<int>(), input.ConsumeIntegral<int>()};
  info.pda = Image(input);
  info.csc = Image(input);
  info.phone = Image(input);
  info.jobBytes = input.ConsumeIntegral<std::uint64_t>();
  return info;
}

// What one call sent, to compare with the line it wrote.
struct Sent {
  std::wstring text;
  std::vector<std::wstring> errors;
  BatchInfo info;
};

void CheckLine(const nlohmann::json& line, const Sent& sent) {
  const std::string type = line.at("type");
  if (type == "text" || type == "error") CheckText(line.at("text"), sent.text);
  if (type == "result") {
    if (line.at("errors").size() != sent.errors.size()) std::abort();
    for (std::size_t i = 0; i < sent.errors.size(); ++i) CheckText(line.at("errors")[i], sent.errors[i]);
  }
  if (type == "start") {
    CheckBytes(line.at("options").at("stratine"), sent.info.stratine);
    const auto& images = line.at("images");
    const std::pair<const char*, const std::optional<tarn::cli::ImageInfo>*> kinds[] = {
        {"pda", &sent.info.pda}, {"csc", &sent.info.csc}, {"phone", &sent.info.phone}};
    for (const auto& [name, image] : kinds) {
      if (images.contains(name) != image->has_value()) std::abort();
      if (*image) CheckBytes(images.at(name).at("path"), (*image)->path);
    }
  }
}

// One report call chosen by the input; answers what it sent.
Sent Call(tarn::cli::JsonReport& report, FuzzedDataProvider& input) {
  Sent sent;
  const int slot = input.ConsumeIntegral<int>();
  switch (input.ConsumeIntegralInRange(0, 9)) {
    case 0:
      sent.info = Info(input);
      report.BatchStarted(sent.info);
      break;
    case 1: report.JobStarted(slot, input.ConsumeIntegral<int>(), input.ConsumeBool()); break;
    case 2:
      sent.text = WideText(input);
      report.Text(slot, sent.text);
      break;
    case 3:
      sent.text = WideText(input);
      report.Error(slot, sent.text);
      break;
    case 4: report.Progress(slot, input.ConsumeIntegral<int>(), input.ConsumeIntegral<int>()); break;
    case 5: report.State(slot, input.ConsumeIntegral<int>()); break;
    case 6: report.Files(input.ConsumeIntegral<int>(), input.ConsumeIntegral<int>()); break;
    case 7: report.Pass(slot, input.ConsumeIntegral<int>()); break;
    case 8: {
      const SlotSummary summary = Slot(input);
      sent.errors = summary.errors;
      report.Summary(summary);
      break;
    }
    default: {
      BatchSummary summary;
      summary.slots = {Slot(input), Slot(input)};
      summary.seconds = input.ConsumeFloatingPoint<double>();
      summary.exitStatus = input.ConsumeIntegral<int>();
      report.BatchEnded(summary);
    }
  }
  return sent;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tarn::fuzz::SilenceLog();
  if (std::setlocale(LC_CTYPE, "C.UTF-8") == nullptr) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  // Clock readings some 285 years either side of 1970: what a nanosecond
  // clock holds.
  const auto now = [&input] {
    const auto ms = input.ConsumeIntegralInRange<std::int64_t>(-9'000'000'000'000, 9'000'000'000'000);
    return std::chrono::system_clock::time_point(std::chrono::milliseconds(ms));
  };
  while (input.remaining_bytes() > 0) {
    char* buffer = nullptr;
    std::size_t length = 0;
    std::FILE* out = ::open_memstream(&buffer, &length);
    tarn::cli::JsonReport report(out, now);
    const Sent sent = Call(report, input);
    std::fclose(out);
    const std::string text(buffer, length);
    std::free(buffer);
    // One call writes exactly one line.
    if (text.empty() || text.back() != '\n' || text.find('\n') != text.size() - 1) std::abort();
    const auto line = nlohmann::json::parse(text, nullptr, false);
    if (line.is_discarded() || !line.is_object()) std::abort();
    CheckLine(line, sent);
  }
  return 0;
}
