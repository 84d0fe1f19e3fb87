// Whether the program is built with a sanitizer that checks memory or threads (address,
// thread or memory): RECIO_SANITIZED_BUILD is defined then. Such a sanitizer sees a system
// call only through the C library's function, which it intercepts.
#pragma once

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define RECIO_SANITIZED_BUILD 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define RECIO_SANITIZED_BUILD 1
#endif
#endif
