// SPDX-License-Identifier: Apache-2.0
// Command exchanges with the phone's boot loader: a packet out, its answer
// judged, and the operator texts a refused command earns.
#pragma once

#include <cstdint>

#include "link/link_session.h"
#include "wire/command_packet.h"

// "[ cmd ] %s(%d), arg %d, len %d, flag %d\n", slot form.
void LogCommand(const LinkSession& link, int code, int argument, int length, int flag);
// Zeroes the body, fills the header words and logs the command line.
void BuildCommand(const LinkSession& link, int code, int argument, int length, int flag, COMMAND_PACKET* packet);
// Encodes the packet and sends its 1024 bytes. All return RESULT_OK or RESULT_FAIL;
// every packet is a command boundary, where a stop request ends the link
// (StopIfRequested) before anything goes out.
std::int32_t SendPacket(LinkSession& link, const COMMAND_PACKET& packet);
// Builds, sends and judges the answer.
std::int32_t SendCommand(LinkSession& link, int code, int argument, int length, int flag);
// Reads one 4-byte response and judges it against `expectedCode` (0: any echo).
std::int32_t CheckResponse(LinkSession& link, int expectedCode);
// Sends a query packet and reads its one-word answer; 0 when nothing came.
std::uint32_t QueryWord(LinkSession& link, int code);

// The failure texts keyed by echo and result byte.
void ReportCommandFailure(LinkSession& link, int echo, int result);
