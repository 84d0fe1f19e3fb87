// What the shared test sources take from POSIX, for their Windows build.
#pragma once

#if defined(_WIN32)
#ifdef __cplusplus
extern "C" {
#endif
// Replaces the trailing XXXXXX of `pattern` and creates that directory; nullptr on failure.
char* mkdtemp(char* pattern);
// Sets a variable (always replacing it): 0 or -1.
int setenv(const char* name, const char* value, int overwrite);
// Removes a variable: 0 or -1.
int unsetenv(const char* name);
// Only signal 0, which asks whether the process exists: 0, or -1 with errno ESRCH.
int kill(int pid, int signal);
#ifdef __cplusplus
}
#endif
#endif
