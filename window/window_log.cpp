#include "window/window_log.h"

namespace tarn::window {

void LogReadyString(const QString& text) {
  TARN_LOG_BEGIN_FILE(kWindowModule);
  LogEndText(text.toStdWString());
}

}  // namespace tarn::window
