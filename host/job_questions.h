// SPDX-License-Identifier: Apache-2.0
// The two questions a running job asks its host: which nation is selected,
// and whether Factory Mode is on (the job then waits for the phone to finish
// before it passes). Each host answers from what it has: the window from its
// controls, tarn-flash from its options.
#pragma once

#include <optional>

#include "platform/win_types.h"

namespace tarn::host {

class JobQuestions {
 public:
  virtual ~JobQuestions() = default;
  // No value: the host cannot say, and the job keeps its own choice.
  virtual std::optional<int> Nation() const = 0;
  virtual std::optional<bool> FactoryMode() const = 0;
};

// The answer to WM_HOST_QUERY_CONTROL with `question` (JOB_QUESTION_*) as its
// wParam: tarn::platform::ControlAnswer of the host's answer, 0 for a
// question the host cannot answer or does not know.
LRESULT AnswerJobQuestion(const JobQuestions& questions, WPARAM question);

}  // namespace tarn::host
