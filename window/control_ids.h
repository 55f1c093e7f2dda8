// SPDX-License-Identifier: Apache-2.0
// Control ids of the operator window. Each widget carries its id as its
// object name, so tests and accessibility tools find controls by number.
#pragma once

#include <array>

namespace tarn::window {

constexpr int kSlotCount = 8;

constexpr int IDC_PORT_LABEL0 = 1000;  // + slot
constexpr int IDC_UPPER_BAR0 = 1008;   // + slot
constexpr int IDC_LOWER_BAR0 = 1016;   // + slot
constexpr int IDC_SLOT_EDIT0 = 1046;   // + slot
constexpr int IDC_START = 1024;
constexpr int IDC_STOP = 1025;
constexpr int IDC_PDA_LIST = 1026;
constexpr int IDC_PHONE_LIST = 1027;
constexpr int IDC_MAIN_EDIT = 1028;
constexpr int IDC_HIDDEN_STATIC = 1029;
constexpr int IDC_BOOT_UPDATE = 1030;
constexpr int IDC_BOOT_FORMAT = 1031;
constexpr int IDC_CSA_CLEAR = 1032;
constexpr int IDC_AUTO_REBOOT = 1033;
constexpr int IDC_AUTO_DOWNLOAD = 1034;
constexpr int IDC_PHONE_BOOT_UPDATE = 1035;
constexpr int IDC_PHONE_EFS_CLEAR = 1036;
constexpr int IDC_PDA_BUTTON = 1037;
constexpr int IDC_PHONE_BUTTON = 1038;
constexpr int IDC_NATION = 1039;
constexpr int IDC_CSC_LIST = 1040;
constexpr int IDC_CSC_BUTTON = 1041;
constexpr int IDC_FACTORY = 1042;
constexpr int IDC_STRATINE_ALL = 1054;
constexpr int IDC_STRATINE_UMS = 1055;
constexpr int IDC_STRATINE_OPT = 1056;
constexpr int IDC_HIDDEN_BUTTON = 1057;
constexpr int IDC_STRATINE_CSC = 1058;
constexpr int IDC_PDA_CHECK = 1060;
constexpr int IDC_PHONE_CHECK = 1061;
constexpr int IDC_CSC_CHECK = 1062;
constexpr int IDC_CLR = 1063;
constexpr int IDC_TITLE = 1064;

// Every operator input that a batch locks, in the order it locks them.
// " EFS Clear" and STOP are always disabled and so are not in it.
constexpr std::array<int, 23> kControlLockList = {
    IDC_PDA_BUTTON,   IDC_PDA_LIST,     IDC_PDA_CHECK,     IDC_CSC_BUTTON, IDC_CSC_LIST,         IDC_CSC_CHECK,
    IDC_PHONE_BUTTON, IDC_PHONE_LIST,   IDC_PHONE_CHECK,   IDC_START,      IDC_BOOT_FORMAT,      IDC_BOOT_UPDATE,
    IDC_CSA_CLEAR,    IDC_AUTO_REBOOT,  IDC_AUTO_DOWNLOAD, IDC_FACTORY,    IDC_NATION,           IDC_STRATINE_ALL,
    IDC_STRATINE_UMS, IDC_STRATINE_OPT, IDC_STRATINE_CSC,  IDC_CLR,        IDC_PHONE_BOOT_UPDATE};

}  // namespace tarn::window
