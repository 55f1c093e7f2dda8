// SPDX-License-Identifier: Apache-2.0
#include "engine/kelpa3_engine.h"

CKelpa3Engine::CKelpa3Engine() = default;

CKelpa3Engine::~CKelpa3Engine() { ReleaseResources(); }

void CKelpa3Engine::FreeMembers() { m_members.clear(); }

void CKelpa3Engine::ReleaseResources() {
  FreeMembers();
  m_device.Close();
}
