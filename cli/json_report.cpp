// SPDX-License-Identifier: Apache-2.0
#include "cli/json_report.h"

#include <nlohmann/json.hpp>

namespace tarn::cli {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t c) {
  if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = kReplacement;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

nlohmann::json Event(const char* type, int slot) { return {{"type", type}, {"slot", slot}}; }

}  // namespace

std::string Utf8Of(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) AppendUtf8(out, static_cast<char32_t>(c));
  return out;
}

void JsonReport::Write(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), out_);
  std::fputc('\n', out_);
  std::fflush(out_);
}

void JsonReport::JobStarted(int slot, int port, bool restart) {
  auto event = Event("start", slot);
  event["port"] = port;
  event["restart"] = restart;
  Write(event.dump());
}

void JsonReport::Text(int slot, const std::wstring& text) {
  auto event = Event("text", slot);
  event["text"] = Utf8Of(text);
  Write(event.dump());
}

void JsonReport::Error(int slot, const std::wstring& text) {
  auto event = Event("error", slot);
  event["text"] = Utf8Of(text);
  Write(event.dump());
}

void JsonReport::Progress(int slot, int overall, int file) {
  auto event = Event("progress", slot);
  event["overall"] = overall;
  event["file"] = file;
  Write(event.dump());
}

void JsonReport::State(int slot, int code) {
  auto event = Event("state", slot);
  event["code"] = code;
  Write(event.dump());
}

void JsonReport::Files(int total, int done) {
  Write(nlohmann::json{{"type", "files"}, {"total", total}, {"done", done}}.dump());
}

void JsonReport::Pass(int slot, int filesDone) {
  auto event = Event("pass", slot);
  event["files_done"] = filesDone;
  Write(event.dump());
}

void JsonReport::Summary(const SlotSummary& summary) {
  auto event = Event("summary", summary.slot);
  event["port"] = summary.port;
  event["result"] = summary.passed ? "PASS" : summary.stopped ? "STOPPED" : "FAIL";
  event["files_done"] = summary.filesDone;
  auto errors = nlohmann::json::array();
  for (const auto& error : summary.errors) errors.push_back(Utf8Of(error));
  event["errors"] = errors;
  event["seconds"] = summary.seconds;
  Write(event.dump());
}

}  // namespace tarn::cli
