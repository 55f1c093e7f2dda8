// SPDX-License-Identifier: Apache-2.0
#include "wire/commands.h"

const wchar_t* CommandName(int code) {
  switch (code) {
    case CMD_GET_VERSION: return L"GetVersion";
    case CMD_GET_PLATFORM: return L"GetPlatform";
    case CMD_READY: return L"Ready";
    case CMD_GET_PARAM: return L"GetParam";
    case CMD_SET_PARAM: return L"SetParam";
    case CMD_FORMAT: return L"Format";
    case CMD_RESET: return L"Reset";
    case CMD_PHONE: return L"Phone";
    case CMD_STRATINE: return L"Stra";
    default: return L"TEST";
  }
}
