// SPDX-License-Identifier: Apache-2.0
// The boot loader's command codes.
#pragma once

constexpr int CMD_WRITE_PARTITION_BASE = 500;  // + partition code
constexpr int CMD_PHONE = 600;
constexpr int CMD_FW = 610;
constexpr int CMD_STRATINE = 620;
constexpr int CMD_READY = 700;
constexpr int CMD_CSA_CLEAR = 701;
constexpr int CMD_FORMAT = 702;
constexpr int CMD_SET_PARAM = 703;
constexpr int CMD_GET_PARAM = 704;
constexpr int CMD_RESET = 707;
constexpr int CMD_END_FRAMES = 711;
constexpr int CMD_GET_VERSION = 712;
constexpr int CMD_GET_PLATFORM = 713;
constexpr int CMD_FINISH = 714;

// Name the log shows for a command code; "TEST" for codes without a name.
const wchar_t* CommandName(int code);
