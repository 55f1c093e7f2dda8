// SPDX-License-Identifier: Apache-2.0
#include "window/window_log.h"

namespace tarn::window {

void LogReadyStringAt(int line, const QString& text) {
  LogBegin(tarn::log::kFilePrefix, static_cast<unsigned>(tarn::platform::CurrentThreadId()), kWindowModule, line);
  std::wstring body = text.toStdWString();
  if (body.empty() || body.back() != L'\n') body += L'\n';
  LogEndText(std::move(body));
}

}  // namespace tarn::window
