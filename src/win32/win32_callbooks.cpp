#include "win32_callbooks.h"

#include <string>

#include "ui_helpers.h"
#include "win32_text.h"

namespace qsopad {

namespace {

// The libraries' functions: 32-bit Windows API calling convention, strings as 8-bit
// NUL-terminated texts that the library may write, 16-bit status by reference. Integers
// passed by value take one 32-bit stack slot whether the library reads 16 or 32 bits.
using QRZSearchFn = std::int32_t(WINAPI*)(std::int32_t, char*, char*, char*, char*, std::int32_t);
using sGetCallInfoFn = void(WINAPI*)(char*, char*, char*, std::int16_t*);
using LookupCallSignFn = std::int16_t(WINAPI*)(char*, char*, std::int32_t, char*);

// A structured exception (an access violation, say) that a library raises and does not
// handle itself makes a failed call, which the lookup reports, rather than the end of the
// program. While a call runs, the top-level exception filter leads back to the call's
// start: the filter runs on the faulting thread's own stack, below that frame, so the jump
// up to it is sound once the 32-bit handler chain, which still names frames of the
// abandoned dispatch, is put back. The library may be left in a bad state; its next call
// may fail again. Seen to work under Wine in both builds. With a debugger attached the
// filter is not called and the debugger sees the fault.
#if defined(_MSC_VER)
bool RunGuarded(void (*call)(void*), void* context) {
  __try {
    call(context);
    return true;
  } __except (EXCEPTION_EXECUTE_HANDLER) {
    return false;
  }
}
#else
thread_local void** active_guard = nullptr;
LPTOP_LEVEL_EXCEPTION_FILTER outer_filter = nullptr;

LONG WINAPI ReturnToGuard(EXCEPTION_POINTERS* info) {
  if (active_guard) __builtin_longjmp(active_guard, 1);
  return outer_filter ? outer_filter(info) : EXCEPTION_CONTINUE_SEARCH;  // another thread's fault
}

__attribute__((noinline)) bool RunGuarded(void (*call)(void*), void* context) {
  void* jump[5];
#if defined(__i386__)
  const unsigned long chain = __readfsdword(0);  // the thread's handler chain
#endif
  outer_filter = SetUnhandledExceptionFilter(ReturnToGuard);
  volatile bool returned = false;
  if (__builtin_setjmp(jump) == 0) {
    active_guard = jump;
    call(context);
    returned = true;
  } else {
#if defined(__i386__)
    __writefsdword(0, chain);
#endif
  }
  active_guard = nullptr;
  SetUnhandledExceptionFilter(outer_filter);
  return returned;
}
#endif

template <typename F>
bool Guarded(F& call) {
  return RunGuarded([](void* f) { (*static_cast<F*>(f))(); }, &call);
}

template <typename Fn>
Fn As(FARPROC entry) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(entry));
}

// A copy the library may write into.
std::string Writable(const std::string& text) { return text; }

}  // namespace

Win32CallbookLibraries::~Win32CallbookLibraries() {
  for (Library* library : {&qrz_, &fly_, &buck_})
    if (library->module) FreeLibrary(library->module);
}

FARPROC Win32CallbookLibraries::Entry(Library& library) {
  if (!library.module) {
    library.module = LoadLibraryA(library.file);
    // The operator sees only the lookup's own message; the reason goes to the debugger
    // (a 64-bit build given a 32-bit library fails with error 193 here).
    if (!library.module) {
      OutputDebugStringA((std::string("QSOPAD: cannot load ") + library.file + ": " +
                          SystemErrorText(GetLastError()) + "\n").c_str());
      return nullptr;
    }
  }
  if (!library.entry) {
    library.entry = GetProcAddress(library.module, library.function);
    if (!library.entry)
      OutputDebugStringA((std::string("QSOPAD: ") + library.file + " has no " + library.function + ": " +
                          SystemErrorText(GetLastError()) + "\n").c_str());
  }
  return library.entry;
}

LibraryCall Win32CallbookLibraries::QRZSearch(std::int32_t what, const std::string& call, const std::string& first,
                                              const std::string& second, std::span<char, kQrzAnswerSize> answer,
                                              std::int32_t mode) {
  const auto search = As<QRZSearchFn>(Entry(qrz_));
  if (!search) return {};
  std::string c = Writable(call), a = Writable(first), b = Writable(second);
  std::int32_t found = 0;
  auto run = [&] { found = search(what, c.data(), a.data(), b.data(), answer.data(), mode); };
  return {Guarded(run), found};
}

LibraryCall Win32CallbookLibraries::sGetCallInfo(const std::string& drive, const std::string& call,
                                                 std::span<char, kFlyAnswerSize> answer, std::int16_t& status) {
  const auto ask = As<sGetCallInfoFn>(Entry(fly_));
  if (!ask) return {};
  std::string d = Writable(drive), c = Writable(call);
  std::int16_t out = status;
  auto run = [&] { ask(d.data(), c.data(), answer.data(), &out); };
  const bool done = Guarded(run);
  status = out;
  return {done, 0};
}

LibraryCall Win32CallbookLibraries::LookupCallSign(const std::string& directory, const std::string& call,
                                                   std::int32_t length, std::span<char, kBuckAnswerSize> answer) {
  const auto look = As<LookupCallSignFn>(Entry(buck_));
  if (!look) return {};
  std::string d = Writable(directory), c = Writable(call);
  std::int16_t result = 0;
  auto run = [&] { result = look(d.data(), c.data(), length, answer.data()); };
  return {Guarded(run), result};
}

void Win32CallbookLibraries::ShowMessage(const std::string& text) {
  OwnedMessageBox(owner_, text);
}

}  // namespace qsopad
