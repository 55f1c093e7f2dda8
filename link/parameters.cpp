// SPDX-License-Identifier: Apache-2.0
#include "link/parameters.h"

#include "link/byte_io.h"
#include "link/link_report.h"
#include "link/link_result.h"
#include "link/protocol.h"
#include "support/log.h"

namespace {

// The phone's record, or zeros where it did not answer.
DEVICE_PARAMS ReadParams(LinkSession& link) {
  std::uint8_t bytes[kDeviceParamsSize] = {};
  COMMAND_PACKET packet;
  BuildCommand(link, CMD_GET_PARAM, 0, 0, 0, &packet);
  if (SendPacket(link, packet) == RESULT_OK) ReceiveBytes(link, bytes, kDeviceParamsSize);
  return DecodeParams(bytes);
}

// SetParam, the record, and its two answers. Failures are reported on the
// way and do not stop the job.
void WriteParams(LinkSession& link, const DEVICE_PARAMS& params) {
  COMMAND_PACKET packet;
  BuildCommand(link, CMD_SET_PARAM, 0, 0, 0, &packet);
  if (SendPacket(link, packet) == RESULT_OK) CheckResponse(link, CMD_SET_PARAM);
  std::uint8_t bytes[kDeviceParamsSize];
  EncodeParams(params, bytes);
  SendBytes(link, bytes, kDeviceParamsSize);
  CheckResponse(link, 0);
  CheckResponse(link, 0);
}

}  // namespace

std::int32_t CheckEnvironment(LinkSession& link, const MemberSizes& members) {
  ReportStatus(link, L"check download environment.");
  DEVICE_PARAMS params = ReadParams(link);
  for (int i = 0; i < kParamPartitionWords; ++i) {
    if (!members[i]) {
      params.sizes[i] = 0;
      continue;
    }
    if (*members[i] > params.sizes[i]) {
      ReportError(link, L"e - file size is greater than partition size!!");
      ReportStatus(link, L"index: %d, file size: %u, partition size: %u", i, *members[i], params.sizes[i]);
      return RESULT_FAIL;
    }
    params.sizes[i] = *members[i];
  }
  WriteParams(link, params);
  if (link.options.csaClear) SendCommand(link, CMD_CSA_CLEAR, 0, 0, 0);
  return RESULT_OK;
}

std::int32_t SaveEnv(LinkSession& link, const MemberSizes& members, std::int32_t nation) {
  TLOG_SLOT(link.slot, L"SaveEnv\n");
  DEVICE_PARAMS params = ReadParams(link);
  for (int i = 0; i < kParamPartitionWords; ++i) params.sizes[i] = members[i].value_or(0);
  params.nation = nation;
  WriteParams(link, params);
  return RESULT_OK;
}
