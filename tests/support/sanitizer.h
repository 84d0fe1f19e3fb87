// Whether the tests run under a sanitizer: the address sanitizer (which also checks the
// bytes a write hands to the system) or the thread sanitizer. Both make everything several
// times slower: random tests then run fewer cases.
#pragma once

namespace testing_support {

#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kAddressSanitizer = true;
#else
inline constexpr bool kAddressSanitizer = false;
#endif
#else
inline constexpr bool kAddressSanitizer = false;
#endif

#if defined(__SANITIZE_THREAD__)
inline constexpr bool kThreadSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
inline constexpr bool kThreadSanitizer = true;
#else
inline constexpr bool kThreadSanitizer = false;
#endif
#else
inline constexpr bool kThreadSanitizer = false;
#endif

inline constexpr bool kSanitized = kAddressSanitizer || kThreadSanitizer;

// `count` in a plain build, `count / divisor` under a sanitizer.
constexpr int sanitizedCount(int count, int divisor) { return kSanitized ? count / divisor : count; }

// The number of random cases of a test: a fifth of them under a sanitizer.
constexpr int caseCount(int count) { return sanitizedCount(count, 5); }

}  // namespace testing_support
