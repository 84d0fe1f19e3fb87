// Whether the tests run under the address or the thread sanitizer, which make everything
// several times slower: random tests then run fewer cases.
#pragma once

namespace testing_support {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif
#else
inline constexpr bool kSanitized = false;
#endif

// `count` in a plain build, `count / divisor` under a sanitizer.
constexpr int sanitizedCount(int count, int divisor) { return kSanitized ? count / divisor : count; }

// The number of random cases of a test: a fifth of them under a sanitizer.
constexpr int caseCount(int count) { return sanitizedCount(count, 5); }

}  // namespace testing_support
