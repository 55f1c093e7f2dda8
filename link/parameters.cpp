// SPDX-License-Identifier: Apache-2.0
#include "link/parameters.h"

#include <cstring>

#include "engine/archive.h"
#include "engine/image_member.h"
#include "engine/kelpa3_engine.h"
#include "engine/results.h"
#include "link/job_io.h"
#include "link/protocol.h"
#include "support/log.h"

namespace {

constexpr int kWordCount = 1 + kParamReservedWords + kParamPartitionWords;

// The phone's record, or zeros where it did not answer.
DEVICE_PARAMS ReadParams(CKelpa3Engine& job) {
  std::uint8_t bytes[kDeviceParamsSize] = {};
  COMMAND_PACKET packet;
  BuildCommand(job, CMD_GET_PARAM, 0, 0, 0, &packet);
  if (SendPacket(job, packet) == 1) ReceiveBytes(job, bytes, kDeviceParamsSize);
  return DecodeParams(bytes);
}

// SetParam, the record, and its two answers. Failures are reported on the
// way and do not stop the job.
void WriteParams(CKelpa3Engine& job, const DEVICE_PARAMS& params) {
  COMMAND_PACKET packet;
  BuildCommand(job, CMD_SET_PARAM, 0, 0, 0, &packet);
  if (SendPacket(job, packet) == 1) CheckResponse(job, CMD_SET_PARAM);
  std::uint8_t bytes[kDeviceParamsSize];
  EncodeParams(params, bytes);
  SendBytes(job, bytes, kDeviceParamsSize);
  CheckResponse(job, 0);
  CheckResponse(job, 0);
}

}  // namespace

void EncodeParams(const DEVICE_PARAMS& params, std::uint8_t out[kDeviceParamsSize]) {
  std::uint32_t words[kWordCount];
  words[0] = static_cast<std::uint32_t>(params.nation);
  std::memcpy(words + 1, params.reserved, sizeof(params.reserved));
  std::memcpy(words + 1 + kParamReservedWords, params.sizes, sizeof(params.sizes));
  for (int i = 0; i < kWordCount; ++i) WriteLe32(out + 4 * i, words[i]);
}

DEVICE_PARAMS DecodeParams(const std::uint8_t in[kDeviceParamsSize]) {
  DEVICE_PARAMS params{};
  params.nation = static_cast<std::int32_t>(ReadLe32(in));
  for (int i = 0; i < kParamReservedWords; ++i) params.reserved[i] = ReadLe32(in + 4 * (1 + i));
  for (int i = 0; i < kParamPartitionWords; ++i) {
    params.sizes[i] = ReadLe32(in + 4 * (1 + kParamReservedWords + i));
  }
  return params;
}

int CheckEnvironment(CKelpa3Engine& job) {
  job.ReportStatus(0, L"check download environment.");
  DEVICE_PARAMS params = ReadParams(job);
  for (int i = 0; i < kParamPartitionWords; ++i) {
    const IMAGE_MEMBER* member = FirstMemberOf(job, i);
    if (member == nullptr) {
      params.sizes[i] = 0;
      continue;
    }
    if (member->dwSize > params.sizes[i]) {
      job.ReportError(L"e - file size is greater than partition size!!");
      job.ReportStatus(0, L"index: %d, file size: %u, partition size: %u", i, member->dwSize, params.sizes[i]);
      return RESULT_FAIL;
    }
    params.sizes[i] = member->dwSize;
  }
  WriteParams(job, params);
  if (job.m_options.bCsaClear == 1) SendCommand(job, CMD_CSA_CLEAR, 0, 0, 0);
  return RESULT_OK;
}

int SaveEnv(CKelpa3Engine& job) {
  TLOG_SLOT(job.m_nIndex, L"SaveEnv\n");
  DEVICE_PARAMS params = ReadParams(job);
  for (int i = 0; i < kParamPartitionWords; ++i) {
    const IMAGE_MEMBER* member = FirstMemberOf(job, i);
    params.sizes[i] = member != nullptr ? member->dwSize : 0;
  }
  params.nation = job.m_nNation;
  WriteParams(job, params);
  return RESULT_OK;
}
