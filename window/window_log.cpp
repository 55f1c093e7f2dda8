#include "window/window_log.h"

namespace tarn::window {

void LogReadyString(const QString& text) {
  TARN_LOG_BEGIN_FILE(kWindowModule);
  std::wstring body = text.toStdWString();
  if (body.empty() || body.back() != L'\n') body += L'\n';
  LogEndText(std::move(body));
}

}  // namespace tarn::window
