// SPDX-License-Identifier: Apache-2.0
// The engine interface: one object per slot, the only thing a host touches.
// Hosts fill the job context through these operations, start the job, and
// from then on only listen to the job's messages (engine/events.h).
#pragma once

#include <cstdint>
#include <memory>

#include "engine/options.h"

// The job context stays the engine's own: hosts see only these operations.
class CKelpa3Engine;

// What the operations return.
constexpr std::int32_t ENGINE_OK = 0;
constexpr std::int32_t ENGINE_REFUSED = 1;

// The answer time-out Init sets, and the longest SetAnswerTimeout takes (a day).
constexpr std::int32_t kDefaultAnswerTimeoutSeconds = 300;
constexpr std::int32_t kMaxAnswerTimeoutSeconds = 86400;

class CPellLinuxNp {
 public:
  CPellLinuxNp();
  // Asks a running job to stop and waits until its thread has ended.
  virtual ~CPellLinuxNp();
  CPellLinuxNp(const CPellLinuxNp&) = delete;
  CPellLinuxNp& operator=(const CPellLinuxNp&) = delete;

  // The operations, in their fixed slot order. Each returns ENGINE_OK unless
  // noted. While the job thread runs, Init, Close, StartJob and the setters
  // are refused: they return ENGINE_REFUSED, change nothing and log why.
  virtual std::int32_t Init(const wchar_t* name);
  virtual std::int32_t Close();
  virtual std::int32_t SetImageMask(std::uint16_t mask);
  virtual std::int32_t Reserved(std::int32_t a, std::int32_t b);
  // ENGINE_REFUSED when the engine is not ready, its job still runs or no
  // thread could be created.
  virtual std::int32_t StartJob(std::int16_t port, std::int16_t slot);
  // Asks the job to end at its next wait or I/O point; it then releases its
  // locks, port and mappings itself. Returns at once.
  virtual std::int32_t StopJob();
  // Asks the job to end at its next command boundary: the answer to the
  // command or frame under way is read, nothing new is sent, so the phone
  // stays in download mode and a new job can greet it. The job then reports
  // kJobStoppedText (engine/events.h) and releases its members and port.
  // The frames of a piece already announced still go out, as the phone waits
  // for them. Returns at once; never refused.
  virtual std::int32_t StopAtCommandBoundary();
  virtual std::int32_t IsJobRunning(std::int16_t* running);
  // The longest wait for the first byte of a phone's answer, in seconds;
  // ENGINE_REFUSED outside 1..kMaxAnswerTimeoutSeconds. Init sets
  // kDefaultAnswerTimeoutSeconds.
  virtual std::int32_t SetAnswerTimeout(std::int32_t seconds);
  // nullptr selects kDefaultEngineOptions.
  virtual std::int32_t SetOptions(const ENGINE_OPTIONS* options);
  // Copies "Tarn2" and its terminator into *buffer, which must hold 6 characters.
  virtual std::int32_t GetEngineName(wchar_t** buffer);
  virtual std::int32_t SetTotalSize(std::int32_t bytes);
  // In NPS mode (ENGINE_OPTIONS::bNpsMode) an image is named shared memory
  // the host made, `size` bytes of it. A job takes only an object of the
  // host user's own that group and others cannot write ("e - the shared
  // image is not the user's own or others can write it: NAME"). An NPS image
  // must not change during a batch: its owner must not write to it while
  // jobs read it, as a rewrite of the same size goes unnoticed.
  virtual std::int32_t SetPdaImage(const wchar_t* name, std::uint32_t size);
  virtual std::int32_t SetPhoneImage(const wchar_t* name, std::uint32_t size);
  virtual std::int32_t SetBootImage(const wchar_t* name, std::uint32_t size);
  virtual std::int32_t SetCscImage(const wchar_t* name, std::uint32_t size);
  virtual std::int32_t SetCscImage2(const wchar_t* name, std::uint32_t size);  // second slot, same operation
  virtual std::int32_t SetPdaPath(const wchar_t* path);
  virtual std::int32_t SetPhonePath(const wchar_t* path);
  virtual std::int32_t SetBootPath(const wchar_t* path);
  virtual std::int32_t SetCscPath(const wchar_t* path);
  virtual std::int32_t SetCscPath2(const wchar_t* path);  // second slot, same operation
  virtual std::int32_t SetSparePath(const wchar_t* path);

  // Files the last job has sent so far (its PASS carries the same count).
  std::uint16_t FilesDone() const;

  // For the engine's own tests: they include engine/kelpa3_engine.h to look inside.
  CKelpa3Engine& Context() { return *m_engine; }
  const CKelpa3Engine& Context() const { return *m_engine; }

 private:
  bool JobThreadRuns() const;
  bool RefusedWhileRunning(const wchar_t* operation) const;

  std::unique_ptr<CKelpa3Engine> m_engine;
};
