// A fake window tree for the window-system port. Every call that acts on a window or the
// system is journalled in order, so tests can check exact call sequences; other fakes add
// their own events to the same journal with Note() to show the order across ports.
#pragma once

#include <charconv>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "link/window_system.h"

namespace qsopad::fakes {

struct FakeWindow {
  WindowHandle parent = 0;
  std::string window_class, caption;
  std::string name;  // what Trace() calls it; its class when empty
  std::vector<WindowHandle> children;  // in creation order
  bool enabled = true, minimised = false, alive = true;
  ScreenRect rect;
  std::uint32_t thread = 0, process = 0;
  int hang_sends = 0;  // the next sends end with `hang_status` instead of `answer`, journalled all the same
  SendStatus hang_status = SendStatus::kTimedOut;
  std::intptr_t answer = 0;
};

struct Call {
  enum class Kind { kSend, kPost, kNotify, kMove, kSetFocus, kSetForeground, kStart, kPause, kAttach, kCopyData, kNote };
  Kind kind = Kind::kNote;
  WindowHandle window = 0;
  unsigned message = 0;
  // Copy data: the sender; pause: the milliseconds; attach: the thread; start: the mode.
  std::uintptr_t wparam = 0;
  std::intptr_t lparam = 0;  // copy data: the code
  unsigned wait_ms = 0;
  ScreenRect rect;  // moves
  std::string text;  // start: the command line; copy data: the bytes; note: the note
};

class FakeWindowSystem : public WindowSystem {
 public:
  WindowHandle AddTopLevel(std::string_view window_class, std::string_view caption) { return AddChild(0, window_class, caption); }
  WindowHandle AddChild(WindowHandle parent, std::string_view window_class, std::string_view caption = {}) {
    // Spaced like real handles, so that an index mistaken for a handle finds nothing.
    const WindowHandle handle = 0x10000 + 4 * windows_.size();
    FakeWindow& w = windows_[handle];
    w.parent = parent, w.window_class = window_class, w.caption = caption;
    if (parent != 0) {
      FakeWindow& owner = windows_.at(parent);
      w.thread = owner.thread, w.process = owner.process, owner.children.push_back(handle);
    }
    return handle;
  }
  FakeWindow& Window(WindowHandle handle) { return windows_.at(handle); }

  std::function<void(FakeWindowSystem&)> on_start;  // the launched program's windows appear
  std::optional<std::uint32_t> start_pid = 1000;    // nullopt: the start fails
  std::vector<Call> journal;

  void Note(std::string text) { Record(Call::Kind::kNote).text = std::move(text); }
  // The journal as one line per call, for tests that write the expected calls out: "send
  // memo char 'a'", "post 0x5000 QSOPADLOG 255 28672", "move form 0 0 500 240", notes as
  // written. Windows go by name, else class, else handle; an lparam follows when not 0.
  std::vector<std::string> Trace() const {
    std::vector<std::string> lines;
    for (const Call& call : journal) lines.push_back(Line(call));
    return lines;
  }

  WindowHandle FindTopLevel(std::string_view window_class, std::string_view caption) override {
    for (const WindowHandle h : TopLevelWindows())
      if (windows_.at(h).window_class == window_class && windows_.at(h).caption == caption) return h;
    return 0;
  }
  WindowHandle FindChild(WindowHandle parent, std::string_view window_class, std::optional<std::string_view> caption) override {
    if (const FakeWindow* owner = Find(parent))
      for (const WindowHandle child : owner->children) {
        const FakeWindow& w = windows_.at(child);
        if (w.alive && w.window_class == window_class && (!caption || w.caption == *caption)) return child;
      }
    return 0;
  }
  std::string GetText(WindowHandle h) override { return Find(h) ? Find(h)->caption : ""; }
  bool IsAlive(WindowHandle h) override { return Find(h) != nullptr; }
  bool IsEnabled(WindowHandle h) override { return Find(h) && Find(h)->enabled; }
  bool IsMinimised(WindowHandle h) override { return Find(h) && Find(h)->minimised; }
  std::optional<ScreenRect> GetRect(WindowHandle h) override { return Find(h) ? std::optional(Find(h)->rect) : std::nullopt; }
  SendResult Send(WindowHandle h, unsigned message, std::uintptr_t wparam, std::intptr_t lparam, unsigned wait_ms) override {
    return Answer(Record(Call::Kind::kSend, h, message, wparam, lparam), wait_ms);
  }
  bool Post(WindowHandle h, unsigned message, std::uintptr_t wparam, std::intptr_t lparam) override {
    return Record(Call::Kind::kPost, h, message, wparam, lparam), Find(h) != nullptr;
  }
  bool Notify(WindowHandle h, unsigned message, std::uintptr_t wparam, std::intptr_t lparam) override {
    return Record(Call::Kind::kNotify, h, message, wparam, lparam), Find(h) != nullptr;
  }
  void Move(WindowHandle h, const ScreenRect& rect) override {
    Record(Call::Kind::kMove, h).rect = rect;
    if (FakeWindow* window = Find(h)) window->rect = rect;
  }
  void SetFocus(WindowHandle h) override { Record(Call::Kind::kSetFocus, h); }
  void SetForeground(WindowHandle h) override { Record(Call::Kind::kSetForeground, h); }
  std::optional<std::uint32_t> StartProgram(std::string_view command_line, StartMode mode) override {
    Record(Call::Kind::kStart, 0, 0, static_cast<std::uintptr_t>(mode)).text = command_line;
    if (start_pid && on_start) on_start(*this);
    return start_pid;
  }
  void Pause(unsigned ms) override { Record(Call::Kind::kPause, 0, 0, ms); }
  Owner OwnerOf(WindowHandle h) override { return Find(h) ? Owner{Find(h)->thread, Find(h)->process} : Owner{}; }
  void AttachInputTo(std::uint32_t thread) override { Record(Call::Kind::kAttach, 0, 0, thread); }
  unsigned RegisterMessage(std::string_view name) override {
    return registered_.try_emplace(std::string(name), 0xC000 + registered_.size()).first->second;
  }
  std::vector<WindowHandle> TopLevelWindows() override {
    std::vector<WindowHandle> found;
    for (const auto& [handle, window] : windows_)
      if (window.parent == 0 && window.alive) found.push_back(handle);
    return found;
  }
  SendResult SendCopyData(WindowHandle target, WindowHandle sender, std::uintptr_t code, std::string_view text,
                          unsigned wait_ms) override {
    Call& call = Record(Call::Kind::kCopyData, target, kWmCopyData, sender, static_cast<std::intptr_t>(code));
    return call.text = text, Answer(call, wait_ms);
  }

 private:
  std::string NameOf(WindowHandle handle) const {
    const auto it = windows_.find(handle);
    if (it != windows_.end()) return it->second.name.empty() ? it->second.window_class : it->second.name;
    char hex[24] = "0x";
    return std::string(hex, std::to_chars(hex + 2, std::end(hex), handle, 16).ptr);
  }
  // " down 116", " char 'a'", " char 8", " QSOPADFUNC 0 1": a printable character shows as
  // itself, so that '8' and a backspace differ.
  std::string MessageOf(const Call& c) const {
    std::string name = std::to_string(c.message);
    for (const auto& [registered, id] : registered_) name = id == c.message ? registered : name;
    const std::pair<unsigned, const char*> known[] = {
        {kWmNull, "null"}, {kWmClose, "close"}, {kWmKeyDown, "down"}, {kWmKeyUp, "up"}, {kWmChar, "char"}};
    for (const auto& [id, known_name] : known) name = id == c.message ? known_name : name;
    const bool printable = c.message == kWmChar && c.wparam > ' ' && c.wparam < 127;
    name += printable ? " '" + std::string(1, char(c.wparam)) + "'" : " " + std::to_string(c.wparam);
    return " " + (c.lparam != 0 ? name + " " + std::to_string(c.lparam) : name);
  }
  std::string Line(const Call& c) const {
    const std::string w = NameOf(c.window), n = " " + std::to_string(c.wparam);
    switch (c.kind) {
      case Call::Kind::kSend: return "send " + w + MessageOf(c);
      case Call::Kind::kPost: return "post " + w + MessageOf(c);
      case Call::Kind::kNotify: return "notify " + w + MessageOf(c);
      case Call::Kind::kCopyData: return "copydata " + w + " " + std::to_string(c.lparam) + " " + c.text;
      case Call::Kind::kMove:
        return "move " + w + " " + std::to_string(c.rect.left) + " " + std::to_string(c.rect.top) + " " +
               std::to_string(c.rect.right) + " " + std::to_string(c.rect.bottom);
      case Call::Kind::kSetFocus: return "setfocus " + w;
      case Call::Kind::kSetForeground: return "foreground " + w;
      case Call::Kind::kStart: return "start " + c.text + (c.wparam == std::uintptr_t(StartMode::kNormalFocused) ? " normal" : " minimised");
      case Call::Kind::kPause: return "pause" + n;
      case Call::Kind::kAttach: return "attach" + n;
      case Call::Kind::kNote: return c.text;
    }
    return "?";
  }
  Call& Record(Call::Kind kind, WindowHandle h = 0, unsigned message = 0, std::uintptr_t wparam = 0, std::intptr_t lparam = 0) {
    Call& call = journal.emplace_back();
    return call.kind = kind, call.window = h, call.message = message, call.wparam = wparam, call.lparam = lparam, call;
  }
  SendResult Answer(Call& call, unsigned wait_ms) {
    call.wait_ms = wait_ms;
    FakeWindow* w = Find(call.window);
    if (!w) return SendResult{};
    return w->hang_sends > 0 ? (--w->hang_sends, SendResult{w->hang_status}) : SendResult{SendStatus::kDone, w->answer};
  }
  // A window is gone when it or any ancestor is gone: children die with their parent.
  FakeWindow* Find(WindowHandle handle) {
    FakeWindow* found = nullptr;
    for (WindowHandle h = handle; h != 0;) {
      const auto it = windows_.find(h);
      if (it == windows_.end() || !it->second.alive) return nullptr;
      if (found == nullptr) found = &it->second;
      h = it->second.parent;
    }
    return found;
  }

  std::map<std::string, unsigned> registered_;
  std::map<WindowHandle, FakeWindow> windows_;  // ordered by handle = creation order
};

}  // namespace qsopad::fakes
