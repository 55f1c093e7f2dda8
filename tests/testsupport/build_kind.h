// SPDX-License-Identifier: Apache-2.0
// What kind of build the tests run in, for the few tests that size their work
// or their checks by it.
#pragma once

namespace tarn::test {

// AddressSanitizer and ThreadSanitizer builds run several times slower and
// keep memory on purpose (quarantine, shadow memory).
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitizedBuild = true;
#else
constexpr bool kSanitizedBuild = false;
#endif

}  // namespace tarn::test
