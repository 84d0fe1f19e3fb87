// The platform layer on Windows, stack walking and symbol lookup: the x64 unwind tables
// for return addresses, the loaded modules, and the program image's own symbol table
// (image_symbols) for routine names.
#include "recio/platform/platform.h"

#include "recio/platform/windows/image_symbols.h"
#include "recio/platform/windows/win32.h"

namespace recio::platform {

// Walks the calling thread's stack through the unwind tables (.pdata) that every x64
// image carries.
int captureStack(int skip, std::uintptr_t* addresses, int capacity, bool& whole) {
  ++skip;  // this routine itself
  int count = 0;
  whole = false;
  CONTEXT context;
  RtlCaptureContext(&context);
  for (;;) {
    DWORD64 pc = context.Rip;
    if (pc == 0) {  // past the outermost frame
      whole = true;
      return count;
    }
    if (skip > 0) {
      --skip;
    } else if (count == capacity) {
      return count;
    } else {
      addresses[count++] = pc;
    }
    const DWORD64 stack = context.Rsp;
    DWORD64 imageBase = 0;
    PRUNTIME_FUNCTION function = RtlLookupFunctionEntry(pc, &imageBase, nullptr);
    if (function == nullptr) {
      // A leaf routine has no unwind entry: its return address is on top of the stack.
      if (stack == 0) return count;
      context.Rip = *reinterpret_cast<const DWORD64*>(stack);
      context.Rsp = stack + 8;
    } else {
      void* handlerData = nullptr;
      DWORD64 establisherFrame = 0;
      RtlVirtualUnwind(UNW_FLAG_NHANDLER, imageBase, pc, function, &context, &handlerData, &establisherFrame, nullptr);
    }
    // The stack only ever unwinds upwards; anything else is a broken walk.
    if (context.Rip != 0 && context.Rsp <= stack) return count;
  }
}

bool prepareSymbolLookup() { return true; }

bool lookUpModule(std::uintptr_t address, ModuleAddress& found) {
  HMODULE image = nullptr;
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCSTR>(address), &image)) {
    return false;
  }
  static char module[MAX_PATH];
  DWORD length = GetModuleFileNameA(image, module, sizeof module);
  found.module = length > 0 && length < sizeof module ? module : nullptr;
  found.offset = address - reinterpret_cast<std::uintptr_t>(image);
  found.symbol = nullptr;
  // Other images' symbol tables are not read: system libraries ship without one.
  if (image == GetModuleHandleA(nullptr)) {
    if (ImageSymbols* symbols = programSymbols()) found.symbol = symbols->routineAt(static_cast<DWORD>(found.offset));
  }
  return true;
}

// Lines and sources are in the DWARF debug information, for which a mingw build has no
// reader (GCC's libbacktrace is not shipped for mingw-w64).
void lookUpSourceLines(std::uintptr_t, SourceLineVisitor, void*) {}

}  // namespace recio::platform
