// SPDX-License-Identifier: Apache-2.0
#include "host/journal_records.h"

#include <sys/uio.h>
#include <syslog.h>
#include <unistd.h>
#include <systemd/sd-journal.h>

#include <cerrno>
#include <charconv>
#include <cstring>

#include "platform/port_names.h"
#include "support/log.h"

namespace tarn::host {

namespace {

constexpr const char* kModule = "./JournalRecords";
// Where the library sends every entry; it reports success when nothing is
// there, so the records look first.
constexpr const char* kJournalSocket = "/run/systemd/journal/socket";

// Not printf: the window runs under the operator's locale, and the journal's
// readers want one decimal point whatever it is.
std::string Decimal(double value, int digits) {
  char text[64];
  const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, digits);
  return end.ec == std::errc() ? std::string(text, end.ptr) : std::string("0");
}

int Priority(SlotResult result) {
  switch (result) {
    case SlotResult::Passed: return LOG_INFO;
    case SlotResult::Stopped: return LOG_WARNING;
    case SlotResult::Failed: break;
  }
  return LOG_ERR;
}

std::string JobMessage(const JobOutcome& job) {
  std::string text = "slot " + std::to_string(job.slot) + " (" + platform::MakePortName(job.com) + ") " +
                     ResultName(job.result) + " in " + Decimal(job.seconds, 1) + " s";
  if (!job.reason.empty()) text += ": " + job.reason;
  return text;
}

// What every entry of one batch carries: which batch, which program, which images.
void AddBatchFacts(const BatchFacts& facts, std::vector<std::pair<const char*, std::string>>* fields) {
  fields->emplace_back("SYSLOG_IDENTIFIER", facts.host);
  fields->emplace_back("TARN_BATCH", facts.id);
  fields->emplace_back("TARN_HOST", facts.host);
  if (!facts.pda.empty()) fields->emplace_back("TARN_PDA", facts.pda);
  if (!facts.csc.empty()) fields->emplace_back("TARN_CSC", facts.csc);
  if (!facts.phone.empty()) fields->emplace_back("TARN_PHONE", facts.phone);
  for (const ImageDigest& digest : facts.digests) {
    if (digest.role == "PDA") fields->emplace_back("TARN_PDA_SHA256", digest.sha256);
    if (digest.role == "CSC") fields->emplace_back("TARN_CSC_SHA256", digest.sha256);
    if (digest.role == "PHONE") fields->emplace_back("TARN_PHONE_SHA256", digest.sha256);
  }
}

}  // namespace

void JournalRecords::JobEnded(const BatchFacts& facts, const JobOutcome& job) {
  Fields fields{{"MESSAGE_ID", kJobEndedMessageId},
                {"MESSAGE", JobMessage(job)},
                {"PRIORITY", std::to_string(Priority(job.result))},
                {"TARN_SLOT", std::to_string(job.slot)},
                {"TARN_COM", std::to_string(job.com)},
                {"TARN_RESULT", ResultName(job.result)},
                {"TARN_BYTES", std::to_string(job.bytes)},
                {"TARN_SECONDS", Decimal(job.seconds, 3)}};
  if (!job.usbPath.empty()) fields.emplace_back("TARN_USB_PATH", job.usbPath);
  if (!job.reason.empty()) fields.emplace_back("TARN_REASON", job.reason);
  AddBatchFacts(facts, &fields);
  Send(fields);
}

void JournalRecords::BatchEnded(const BatchFacts& facts, const BatchTotals& totals) {
  const std::string message = "batch " + facts.id + " ended: " + std::to_string(totals.passed) + " passed, " +
                              std::to_string(totals.failed) + " failed, " + std::to_string(totals.stopped) +
                              " stopped in " + Decimal(totals.seconds, 1) + " s";
  const int priority = totals.failed > 0 ? LOG_ERR : totals.stopped > 0 ? LOG_WARNING : LOG_INFO;
  Fields fields{{"MESSAGE_ID", kBatchEndedMessageId},           {"MESSAGE", message},
                {"PRIORITY", std::to_string(priority)},         {"TARN_PASSED", std::to_string(totals.passed)},
                {"TARN_FAILED", std::to_string(totals.failed)}, {"TARN_STOPPED", std::to_string(totals.stopped)},
                {"TARN_SECONDS", Decimal(totals.seconds, 3)}};
  AddBatchFacts(facts, &fields);
  Send(fields);
}

void JournalRecords::Send(const Fields& fields) {
  if (::access(kJournalSocket, F_OK) != 0) {
    TraceNotWritten(kJournalSocket, errno);
    return;
  }
  // One "NAME=value" buffer per field, handed over by length: the library
  // sends a value with a line end in the journal's binary form, and nothing
  // in a value is ever read as a format.
  std::vector<std::string> texts;
  texts.reserve(fields.size());
  for (const auto& [name, value] : fields) texts.push_back(std::string(name) + "=" + value);
  std::vector<iovec> parts;
  parts.reserve(texts.size());
  for (std::string& text : texts) parts.push_back({text.data(), text.size()});
  const int r = sd_journal_sendv(parts.data(), static_cast<int>(parts.size()));
  if (r < 0) TraceNotWritten("sd_journal_sendv", -r);
}

void JournalRecords::TraceNotWritten(const char* what, int error) {
  if (traced_.exchange(true)) return;
  TLOG_FILE(kModule, L"The systemd journal could not be written (%s: %s); batch records go on without it\n", what,
            std::strerror(error));
}

}  // namespace tarn::host
