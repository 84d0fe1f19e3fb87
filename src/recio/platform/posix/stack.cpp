// The platform layer on POSIX, stack walking and symbol lookup: the unwinder for return
// addresses, dladdr for modules and symbols, and libbacktrace for lines and sources when
// the build has it (RECIO_HAVE_LIBBACKTRACE, given to this file alone).
//
// A statically linked program has no dynamic symbol table, so dladdr knows none of its
// addresses: the program's own segments then name the module, and libbacktrace names the
// routines from the program file's symbol table. It finds that file through /proc; in a
// root without /proc (a chroot), through the name the program was started by, which the
// kernel keeps in the auxiliary vector (the shell passes the path it found).
#include "recio/platform/platform.h"

#include <dlfcn.h>
#include <link.h>
#include <sys/auxv.h>
#include <unistd.h>
#include <unwind.h>

#if defined(RECIO_HAVE_LIBBACKTRACE)
#include <backtrace.h>
#endif

namespace recio::platform {
namespace {

#if defined(RECIO_HAVE_LIBBACKTRACE)
backtrace_state* debugInfo = nullptr;
void ignoreError(void*, const char*, int) {}
#endif

constexpr char kOwnImage[] = "/proc/self/exe";

// The path of the program's file: nullptr when the kernel kept none.
const char* programPath() { return reinterpret_cast<const char*>(::getauxval(AT_EXECFN)); }

// The loaded object whose segments hold an address, found by walking the program's own
// program headers (which a static program has as well).
struct SegmentSearch {
  std::uintptr_t address;
  bool found = false;
  const char* name = nullptr;
  std::uintptr_t base = 0;
};

int searchSegments(dl_phdr_info* info, std::size_t, void* data) {
  auto* search = static_cast<SegmentSearch*>(data);
  for (int index = 0; index < info->dlpi_phnum; ++index) {
    const auto& header = info->dlpi_phdr[index];
    if (header.p_type != PT_LOAD) continue;
    const std::uintptr_t start = info->dlpi_addr + header.p_vaddr;
    if (search->address >= start && search->address - start < header.p_memsz) {
      search->found = true;
      search->name = info->dlpi_name;
      search->base = info->dlpi_addr;
      return 1;
    }
  }
  return 0;
}

struct Capture {
  std::uintptr_t* addresses;
  int capacity;
  int count = 0;
  int skip = 0;
  bool truncated = false;
};

_Unwind_Reason_Code collectAddress(struct _Unwind_Context* context, void* data) {
  auto* capture = static_cast<Capture*>(data);
  if (capture->skip > 0) {
    --capture->skip;
    return _URC_NO_REASON;
  }
  if (capture->count == capture->capacity) {
    capture->truncated = true;
    return _URC_END_OF_STACK;
  }
  std::uintptr_t pc = _Unwind_GetIP(context);
  // The outermost frame reports no address. Ending the walk from here would make the
  // unwinder report a failure; it ends by itself after this frame.
  if (pc == 0) return _URC_NO_REASON;
  capture->addresses[capture->count++] = pc;
  return _URC_NO_REASON;
}

#if defined(RECIO_HAVE_LIBBACKTRACE)
struct SourceLookup {
  SourceLineVisitor visit;
  void* context;
};

int onPcInfo(void* data, std::uintptr_t, const char* file, int line, const char* function) {
  auto* lookup = static_cast<SourceLookup*>(data);
  return lookup->visit(SourceLine{function, file, line}, lookup->context) ? 0 : 1;
}
#endif

}  // namespace

bool prepareSymbolLookup() {
#if defined(RECIO_HAVE_LIBBACKTRACE)
  // nullptr lets libbacktrace find the program itself, through /proc.
  const char* program = ::access(kOwnImage, R_OK) == 0 ? nullptr : programPath();
  debugInfo = backtrace_create_state(program, 1, ignoreError, nullptr);
  return debugInfo != nullptr;
#else
  return true;
#endif
}

int captureStack(int skip, std::uintptr_t* addresses, int capacity, bool& whole) {
  Capture capture{addresses, capacity};
  capture.skip = skip + 1;  // this routine itself
  _Unwind_Reason_Code reason = _Unwind_Backtrace(collectAddress, &capture);
  whole = (reason == _URC_END_OF_STACK || reason == _URC_NO_REASON) && !capture.truncated;
  return capture.count;
}

bool lookUpModule(std::uintptr_t address, ModuleAddress& found) {
  Dl_info info;
  if (::dladdr(reinterpret_cast<void*>(address), &info) != 0) {
    found.module = info.dli_fname;
    found.offset = address - reinterpret_cast<std::uintptr_t>(info.dli_fbase);
    found.symbol = info.dli_sname;
    return true;
  }
  SegmentSearch search{address};
  ::dl_iterate_phdr(searchSegments, &search);
  if (!search.found) return false;
  // The program itself has no name among the loaded objects.
  found.module = search.name != nullptr && search.name[0] != '\0' ? search.name : programPath();
  found.offset = address - search.base;
  return true;
}

void lookUpSourceLines(std::uintptr_t address, SourceLineVisitor visit, void* context) {
#if defined(RECIO_HAVE_LIBBACKTRACE)
  if (debugInfo == nullptr) return;
  SourceLookup lookup{visit, context};
  backtrace_pcinfo(debugInfo, address, onPcInfo, ignoreError, &lookup);
#else
  (void)address;
  (void)visit;
  (void)context;
#endif
}

}  // namespace recio::platform
