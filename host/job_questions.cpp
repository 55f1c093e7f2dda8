// SPDX-License-Identifier: Apache-2.0
#include "host/job_questions.h"

#include "engine/events.h"
#include "platform/messages.h"

namespace tarn::host {

LRESULT AnswerJobQuestion(const JobQuestions& questions, WPARAM question) {
  std::optional<int> answer;
  if (question == JOB_QUESTION_NATION) answer = questions.Nation();
  if (question == JOB_QUESTION_FACTORY_MODE) {
    if (const std::optional<bool> on = questions.FactoryMode()) answer = *on ? 1 : 0;
  }
  return answer ? platform::ControlAnswer(*answer) : 0;
}

}  // namespace tarn::host
