// SPDX-License-Identifier: Apache-2.0
// What the hosts read from job messages and answer to job questions, for the
// cases their end-to-end tests do not reach: the files message, NPS-mode
// progress, other messages, and a host without an answer.
#include <gtest/gtest.h>

#include "engine/events.h"
#include "host/job_event.h"
#include "host/job_questions.h"
#include "platform/messages.h"

namespace {

using tarn::host::DecodeJobMessage;
using tarn::host::JobEvent;
using tarn::host::JobEventKind;

TEST(JobEvent, ReadsEachMessageIntoItsFields) {
  const JobEvent progress = DecodeJobMessage(WM_JOB_PROGRESS, PackProgress(5, 0xEE, 30, 70), 0);
  EXPECT_EQ(progress.kind, JobEventKind::Progress);
  EXPECT_EQ(progress.slot, 5);
  EXPECT_EQ(progress.file, 30);
  EXPECT_EQ(progress.overall, 70);
  // NPS mode sends the bare overall percent.
  const JobEvent nps = DecodeJobMessage(WM_JOB_PROGRESS, 42, 0);
  EXPECT_EQ(nps.slot, 0);
  EXPECT_EQ(nps.file, 0);
  EXPECT_EQ(nps.overall, 42);

  const JobEvent files = DecodeJobMessage(WM_JOB_FILES, 9, 4);
  EXPECT_EQ(files.kind, JobEventKind::Files);
  EXPECT_EQ(files.slot, -1);
  EXPECT_EQ(files.filesTotal, 9);
  EXPECT_EQ(files.filesDone, 4);

  const JobEvent pass = DecodeJobMessage(WM_JOB_PASS, 6, 11);
  EXPECT_EQ(pass.kind, JobEventKind::Pass);
  EXPECT_EQ(pass.slot, 6);
  EXPECT_EQ(pass.filesDone, 11);

  const wchar_t* text = L"e - x";
  const JobEvent error = DecodeJobMessage(WM_JOB_ERROR, reinterpret_cast<WPARAM>(text), 3);
  EXPECT_EQ(error.kind, JobEventKind::Error);
  EXPECT_EQ(error.slot, 3);
  EXPECT_EQ(error.text, text);

  EXPECT_EQ(DecodeJobMessage(tarn::platform::WM_HOST_QUERY_CONTROL, JOB_QUESTION_NATION, 0).kind, JobEventKind::Other);
}

class FixedAnswers : public tarn::host::JobQuestions {
 public:
  std::optional<int> Nation() const override { return nation; }
  std::optional<bool> FactoryMode() const override { return factoryMode; }
  std::optional<int> nation;
  std::optional<bool> factoryMode;
};

TEST(JobQuestions, AnswersWhatTheHostKnowsAndNothingElse) {
  using tarn::host::AnswerJobQuestion;
  using tarn::platform::ControlAnswer;
  FixedAnswers host;
  EXPECT_EQ(AnswerJobQuestion(host, JOB_QUESTION_NATION), 0);
  EXPECT_EQ(AnswerJobQuestion(host, JOB_QUESTION_FACTORY_MODE), 0);
  host.nation = -1;  // no nation selected is an answer too
  host.factoryMode = false;
  EXPECT_EQ(AnswerJobQuestion(host, JOB_QUESTION_NATION), ControlAnswer(-1));
  EXPECT_EQ(AnswerJobQuestion(host, JOB_QUESTION_FACTORY_MODE), ControlAnswer(0));
  EXPECT_EQ(AnswerJobQuestion(host, 1040), 0);  // a question no host knows
}

}  // namespace
