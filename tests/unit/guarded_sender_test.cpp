// Sends to another program: full waits while it answers, short probes while it does not.
#include "link/guarded_sender.h"

#include <gtest/gtest.h>

#include "fake_window_system.h"

namespace qsopad {
namespace {

using fakes::Call;
using fakes::FakeWindowSystem;
using namespace std::string_literals;

// Every call to one window, a letter each: S a send waiting 2000 ms, p a WM_NULL probe
// waiting 20 ms, h handed over without waiting; any other wait is written out.
std::string CallsTo(const FakeWindowSystem& windows, WindowHandle window) {
  std::string out;
  for (const Call& c : windows.journal) {
    if (c.window == window && c.kind == Call::Kind::kNotify) out += 'h';
    if (c.window != window || (c.kind != Call::Kind::kSend && c.kind != Call::Kind::kCopyData)) continue;
    const bool probe = c.message == kWmNull;
    out += c.wait_ms == (probe ? 20u : 2000u) ? (probe ? "p" : "S") : "<" + std::to_string(c.wait_ms) + ">";
  }
  return out;
}

// A receiver that stops answering costs one full wait; then each message is preceded by a
// probe and handed over unwaited while the probe goes unanswered, none dropped or
// reordered. Another receiver that answers keeps its full waits and its answers.
TEST(GuardedSender, ReceiverThatHangsCostsOneFullWaitUntilItAnswersAgain) {
  const struct { const char* name; SendStatus hang_status; int hang_sends; const char* calls; } rows[] = {
      {"times out once", SendStatus::kTimedOut, 1, "SpSSSSS"}, {"times out thrice", SendStatus::kTimedOut, 3, "SphphpSSS"},
      {"system says hung", SendStatus::kHung, 2, "SphpSSSS"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    FakeWindowSystem windows;
    const WindowHandle memo = windows.AddTopLevel("TMemo", ""), fine = windows.AddTopLevel("TForm1", "fine");
    windows.Window(memo).hang_sends = row.hang_sends, windows.Window(memo).hang_status = row.hang_status;
    windows.Window(fine).answer = 42;
    GuardedSender sender(windows);
    for (unsigned c = '1'; c <= '6'; ++c) {
      sender.Send(memo, kWmChar, c, 0);
      const SendResult answer = sender.Send(fine, kWmChar, c, 0);
      EXPECT_EQ(std::pair(answer.status, answer.result), std::pair(SendStatus::kDone, std::intptr_t{42}));
    }
    EXPECT_EQ(std::pair(CallsTo(windows, memo), CallsTo(windows, fine)), std::pair(std::string(row.calls), "SSSSSS"s));
    std::string delivered;
    for (const Call& c : windows.journal) delivered += c.window == memo && c.message == kWmChar ? std::string(1, char(c.wparam)) : "";
    EXPECT_EQ(delivered, "123456");
    EXPECT_FALSE(sender.IsUnresponsive(memo)) << "answering again clears the mark";
  }
}

// A record points at its text: it cannot wait in the receiver's queue. A failed send leaves
// the mark as it was, and window 0 gets nothing.
TEST(GuardedSender, RecordsAreNotHandedOverAndFailuresLeaveTheMark) {
  FakeWindowSystem windows;
  const WindowHandle log = windows.AddTopLevel("Log", ""), form = windows.AddTopLevel("TForm1", "");
  windows.Window(log).hang_sends = 2;
  GuardedSender sender(windows);
  EXPECT_EQ(sender.Send(0, kWmClose, 0, 0).status, SendStatus::kFailed);
  EXPECT_TRUE(windows.journal.empty());
  std::vector<SendStatus> got;
  for (const char* call : {"ZX0AB", "ZX0CD", "ZX0EF"}) got.push_back(sender.SendCopyData(log, 0x7000, 1, call).status);
  EXPECT_EQ(got, (std::vector<SendStatus>{SendStatus::kTimedOut, SendStatus::kHung, SendStatus::kDone}));
  EXPECT_EQ(std::pair(CallsTo(windows, log), windows.Trace().back()), std::pair("SppS"s, "copydata Log 1 ZX0EF"s));
  windows.Window(form).alive = false;
  EXPECT_EQ(sender.Send(form, kWmChar, 'a', 0).status, SendStatus::kFailed);
  EXPECT_FALSE(sender.IsUnresponsive(form)) << "unmarked, and stays so";
  windows.Window(form).alive = true, windows.Window(form).hang_sends = 1;
  sender.Send(form, kWmChar, 'b', 0), windows.Window(form).alive = false, sender.Send(form, kWmChar, 'c', 0);
  EXPECT_TRUE(sender.IsUnresponsive(form)) << "marked, and stays so";
}

}  // namespace
}  // namespace qsopad
