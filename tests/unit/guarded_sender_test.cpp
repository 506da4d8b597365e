// The wait policy of sends to another program: full waits while it answers, short ones
// while it does not, every message delivered in order either way.
#include "link/guarded_sender.h"

#include <gtest/gtest.h>

#include <vector>

#include "fake_window_system.h"

namespace qsopad {
namespace {

using fakes::Call;
using fakes::FakeWindowSystem;

std::vector<unsigned> WaitsTo(const FakeWindowSystem& windows, WindowHandle window) {
  std::vector<unsigned> waits;
  for (const Call& call : windows.CallsOf(Call::Kind::kSend)) {
    if (call.window == window) waits.push_back(call.wait_ms);
  }
  return waits;
}

TEST(GuardedSender, AnsweringReceiverGetsFullWaitsAndItsAnswersComeBack) {
  FakeWindowSystem windows;
  const WindowHandle memo = windows.AddTopLevel("TMemo", "");
  windows.Window(memo).answer = 42;
  GuardedSender sender(windows);

  for (unsigned c : {'a', 'b', 'c'}) {
    const SendResult result = sender.Send(memo, kWmChar, c, 0);
    EXPECT_EQ(result.status, SendStatus::kDone);
    EXPECT_EQ(result.result, 42);
  }
  EXPECT_EQ(windows.MessagesTo(memo), (std::vector<std::pair<unsigned, std::uintptr_t>>{
                                          {kWmChar, 'a'}, {kWmChar, 'b'}, {kWmChar, 'c'}}));
  EXPECT_EQ(WaitsTo(windows, memo),
            (std::vector<unsigned>{GuardedSender::kWaitMs, GuardedSender::kWaitMs,
                                   GuardedSender::kWaitMs}));
  EXPECT_FALSE(sender.IsUnresponsive(memo));
}

// A receiver that stops answering for a while costs one full wait; after that each message
// is preceded by a short WM_NULL probe and handed over without waiting while the probe goes
// unanswered. No message is dropped or reordered meanwhile.
TEST(GuardedSender, ReceiverThatHangsCostsOneFullWaitUntilItAnswersAgain) {
  constexpr unsigned kFull = GuardedSender::kWaitMs;
  constexpr unsigned kShort = GuardedSender::kHungWaitMs;
  constexpr auto kSend = Call::Kind::kSend;
  constexpr auto kNotify = Call::Kind::kNotify;
  struct Step {
    Call::Kind kind;
    unsigned message;
    unsigned wait;
  };
  struct Row {
    const char* name;
    SendStatus hang_status;
    int hang_sends;
    std::vector<Step> steps;  // every call for the six characters
  };
  const Row rows[] = {
      {"times out once",
       SendStatus::kTimedOut,
       1,
       {{kSend, kWmChar, kFull}, {kSend, kWmNull, kShort}, {kSend, kWmChar, kFull},
        {kSend, kWmChar, kFull}, {kSend, kWmChar, kFull}, {kSend, kWmChar, kFull},
        {kSend, kWmChar, kFull}}},
      {"times out thrice",
       SendStatus::kTimedOut,
       3,
       {{kSend, kWmChar, kFull}, {kSend, kWmNull, kShort}, {kNotify, kWmChar, 0},
        {kSend, kWmNull, kShort}, {kNotify, kWmChar, 0}, {kSend, kWmNull, kShort},
        {kSend, kWmChar, kFull}, {kSend, kWmChar, kFull}, {kSend, kWmChar, kFull}}},
      {"system says hung",
       SendStatus::kHung,
       2,
       {{kSend, kWmChar, kFull}, {kSend, kWmNull, kShort}, {kNotify, kWmChar, 0},
        {kSend, kWmNull, kShort}, {kSend, kWmChar, kFull}, {kSend, kWmChar, kFull},
        {kSend, kWmChar, kFull}, {kSend, kWmChar, kFull}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    FakeWindowSystem windows;
    const WindowHandle memo = windows.AddTopLevel("TMemo", "");
    windows.Window(memo).hang_sends = row.hang_sends;
    windows.Window(memo).hang_status = row.hang_status;
    GuardedSender sender(windows);

    for (unsigned c = '1'; c <= '6'; ++c) sender.Send(memo, kWmChar, c, 0);
    ASSERT_EQ(windows.journal.size(), row.steps.size());
    for (std::size_t i = 0; i < row.steps.size(); ++i) {
      SCOPED_TRACE(i);
      EXPECT_EQ(windows.journal[i].kind, row.steps[i].kind);
      EXPECT_EQ(windows.journal[i].message, row.steps[i].message);
      if (row.steps[i].kind == kSend) {
        EXPECT_EQ(windows.journal[i].wait_ms, row.steps[i].wait);
      }
    }
    ASSERT_EQ(windows.MessagesTo(memo).size(), 6u) << "every character, probes left out";
    for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(windows.MessagesTo(memo)[i].second, '1' + i);
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
  EXPECT_EQ(windows.CallsOf(Call::Kind::kCopyData).size(), 1u);
  EXPECT_EQ(sender.SendCopyData(log, 0x7000, 1, "ZX0EF").status, SendStatus::kDone);
  EXPECT_EQ(windows.CallsOf(Call::Kind::kCopyData).back().text, "ZX0EF");
}

TEST(GuardedSender, MarkBelongsToTheReceiverThatHung) {
  FakeWindowSystem windows;
  const WindowHandle hung = windows.AddTopLevel("TForm1", "hung");
  const WindowHandle fine = windows.AddTopLevel("TForm1", "fine");
  windows.Window(hung).hang_sends = 10;
  GuardedSender sender(windows);

  sender.Send(hung, kWmChar, 'x', 0);
  sender.Send(fine, kWmChar, 'y', 0);
  sender.Send(hung, kWmChar, 'z', 0);

  EXPECT_EQ(WaitsTo(windows, fine), std::vector<unsigned>{GuardedSender::kWaitMs});
  EXPECT_EQ(WaitsTo(windows, hung),
            (std::vector<unsigned>{GuardedSender::kWaitMs, GuardedSender::kHungWaitMs}))
      << "a full wait, then only the probe";
  EXPECT_EQ(windows.CallsOf(Call::Kind::kNotify).size(), 1u);
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
  windows.Window(form).alive = true;
  windows.Window(form).hang_sends = 1;
  sender.Send(form, kWmChar, 'b', 0);
  windows.Window(form).alive = false;
  sender.Send(form, kWmChar, 'c', 0);
  EXPECT_TRUE(sender.IsUnresponsive(form));
}

}  // namespace
}  // namespace qsopad
