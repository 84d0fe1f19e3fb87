// Whether the tests run under the address sanitizer, which makes everything several
// times slower: random tests then run fewer cases.
#pragma once

namespace testing_support {

#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif
#else
inline constexpr bool kSanitized = false;
#endif

// `count` in a plain build, `count / divisor` under the sanitizer.
constexpr int sanitizedCount(int count, int divisor) { return kSanitized ? count / divisor : count; }

}  // namespace testing_support
