// The wait policy of sends to another program: full waits while it answers, short ones
// while it does not, every message delivered in order either way.
#include "link/guarded_sender.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_window_system.h"

namespace qsopad {
namespace {

using fakes::Call;
using fakes::FakeWindowSystem;

// Every call to one window: "send 2000" (a wait of 2000 ms), "probe 20", "handed over".
std::vector<std::string> CallsTo(const FakeWindowSystem& windows, WindowHandle window) {
  std::vector<std::string> out;
  for (const Call& c : windows.journal) {
    if (c.window != window) continue;
    if (c.kind == Call::Kind::kNotify) out.push_back("handed over");
    if (c.kind == Call::Kind::kSend || c.kind == Call::Kind::kCopyData)
      out.push_back((c.message == kWmNull ? "probe " : "send ") + std::to_string(c.wait_ms));
  }
  return out;
}

// A receiver that stops answering for a while costs one full wait; after that each message
// is preceded by a short WM_NULL probe and handed over without waiting while the probe goes
// unanswered. No message is dropped or reordered meanwhile, and another receiver that
// answers keeps its full waits and its answers.
TEST(GuardedSender, ReceiverThatHangsCostsOneFullWaitUntilItAnswersAgain) {
  const struct { const char* name; SendStatus hang_status; int hang_sends; std::vector<std::string> calls; } rows[] = {
      {"times out once", SendStatus::kTimedOut, 1,
       {"send 2000", "probe 20", "send 2000", "send 2000", "send 2000", "send 2000", "send 2000"}},
      {"times out thrice", SendStatus::kTimedOut, 3,
       {"send 2000", "probe 20", "handed over", "probe 20", "handed over", "probe 20", "send 2000", "send 2000",
        "send 2000"}},
      {"system says hung", SendStatus::kHung, 2,
       {"send 2000", "probe 20", "handed over", "probe 20", "send 2000", "send 2000", "send 2000", "send 2000"}},
  };
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
    EXPECT_EQ(CallsTo(windows, memo), row.calls);
    EXPECT_EQ(CallsTo(windows, fine), std::vector<std::string>(6, "send 2000"));
    std::string delivered;
    for (const auto& [message, wparam] : windows.MessagesTo(memo)) delivered += char(wparam);
    EXPECT_EQ(delivered, "123456") << "every character, in order";
    EXPECT_FALSE(sender.IsUnresponsive(memo)) << "answering again clears the mark";
  }
}

TEST(GuardedSender, RecordsAreNotHandedOverToAReceiverThatDoesNotAnswer) {
  FakeWindowSystem windows;
  const WindowHandle log = windows.AddTopLevel("Log", "");
  windows.Window(log).hang_sends = 2;
  GuardedSender sender(windows);
  EXPECT_EQ(sender.SendCopyData(log, 0x7000, 1, "ZX0AB").status, SendStatus::kTimedOut);
  EXPECT_EQ(sender.SendCopyData(log, 0x7000, 1, "ZX0CD").status, SendStatus::kHung)
      << "a record points at its text: it cannot wait in the receiver's queue";
  EXPECT_EQ(sender.SendCopyData(log, 0x7000, 1, "ZX0EF").status, SendStatus::kDone);
  EXPECT_EQ(CallsTo(windows, log),
            (std::vector<std::string>{"send 2000", "probe 20", "probe 20", "send 2000"}));
  EXPECT_EQ(windows.CallsOf(Call::Kind::kCopyData).back().text, "ZX0EF");
}

TEST(GuardedSender, FailedSendsLeaveTheMarkAsItWasAndWindowZeroGetsNothing) {
  FakeWindowSystem windows;
  const WindowHandle form = windows.AddTopLevel("TForm1", "");
  GuardedSender sender(windows);
  EXPECT_EQ(sender.Send(0, kWmClose, 0, 0).status, SendStatus::kFailed);
  EXPECT_TRUE(windows.journal.empty());
  // A failure to an unmarked window does not mark it...
  windows.Window(form).alive = false;
  EXPECT_EQ(sender.Send(form, kWmChar, 'a', 0).status, SendStatus::kFailed);
  EXPECT_FALSE(sender.IsUnresponsive(form));
  // ...and a failure to a marked one does not clear the mark.
  windows.Window(form).alive = true, windows.Window(form).hang_sends = 1;
  sender.Send(form, kWmChar, 'b', 0);
  windows.Window(form).alive = false;
  sender.Send(form, kWmChar, 'c', 0);
  EXPECT_TRUE(sender.IsUnresponsive(form));
}

}  // namespace
}  // namespace qsopad
