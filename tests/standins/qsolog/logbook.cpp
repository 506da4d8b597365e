// The log stand-in's window and its side of the QSOPAD message protocol.
#include "logbook.h"

#include <cstdint>
#include <iterator>

namespace qsolog {

namespace {

constexpr wchar_t kClass[] = L"QSOLOG_Standin";
constexpr wchar_t kCaption[] = L"QSO Log stand-in";
constexpr wchar_t kFuncName[] = L"QSOPADFUNC";
constexpr wchar_t kLogName[] = L"QSOPADLOG";
constexpr WPARAM kHandshake = 0;
constexpr WPARAM kHandshakeAnswer = 255;
constexpr ULONG_PTR kCodeClosing = 0;
constexpr ULONG_PTR kCodeCall = 1;
constexpr ULONG_PTR kCodeName = 2;

constexpr int kMargin = 10;
constexpr int kLabelWidth = 90;
constexpr int kValueWidth = 220;
constexpr int kLineHeight = 22;

struct Line {
  int id;
  const wchar_t* label;
  const wchar_t* initial;
};
constexpr Line kLines[] = {
    {kIdCall, L"Call:", L""},
    {kIdName, L"Name:", L""},
    {kIdPartner, L"QSOPAD:", L"not paired"},
    {kIdAnnounced, L"Announced:", L""},
};

std::wstring Widen(const std::string& ansi) {
  if (ansi.empty()) return std::wstring();
  int n = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), wide.data(), n);
  return wide;
}

// What a "QSOPADFUNC" announcement means, for the window.
std::string Announcement(WPARAM wp, LPARAM lp) {
  if (wp == 0 && lp == 0) return "receive";
  if (wp == 0 && lp == 1) return "transmit";
  if (wp == 1 && lp == 0) return "closing";
  return std::to_string(wp) + " " + std::to_string(lp);
}

}  // namespace

Logbook::Logbook(const Config& config) : config_(config) { journal_.Open(config_.journal); }

Logbook::~Logbook() {
  if (font_) DeleteObject(font_);
}

bool Logbook::Create(HINSTANCE instance, int nCmdShow) {
  funcMsg_ = RegisterWindowMessageW(kFuncName);
  logMsg_ = RegisterWindowMessageW(kLogName);
  if (!funcMsg_ || !logMsg_) return false;

  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = Trampoline;
  wc.hInstance = instance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kClass;
  if (!RegisterClassExW(&wc)) return false;

  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
    font_ = CreateFontIndirectW(&metrics.lfMessageFont);

  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
  RECT frame{0, 0, 2 * kMargin + kLabelWidth + kValueWidth,
             2 * kMargin + kLineHeight * static_cast<int>(std::size(kLines))};
  AdjustWindowRectEx(&frame, style, FALSE, 0);
  hwnd_ = CreateWindowExW(0, kClass, kCaption, style, CW_USEDEFAULT, CW_USEDEFAULT, frame.right - frame.left,
                          frame.bottom - frame.top, nullptr, nullptr, instance, this);
  if (!hwnd_) return false;
  Layout();

  journal_.Write("log", "START " + std::to_string(GetCurrentProcessId()) + " " + Hex(hwnd_));
  ShowWindow(hwnd_, nCmdShow);
  UpdateWindow(hwnd_);
  if (config_.pairAtStart) Pair();
  return true;
}

void Logbook::Layout() {
  const HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(hwnd_, GWLP_HINSTANCE));
  int y = kMargin;
  for (const Line& line : kLines) {
    HWND label = CreateWindowExW(0, L"STATIC", line.label, WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, kMargin,
                                 y, kLabelWidth, kLineHeight - 4, hwnd_, nullptr, instance, nullptr);
    HWND value = CreateWindowExW(0, L"STATIC", line.initial,
                                 WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, kMargin + kLabelWidth,
                                 y, kValueWidth, kLineHeight - 4, hwnd_,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(line.id)), instance, nullptr);
    for (HWND h : {label, value})
      if (h && font_) SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    y += kLineHeight;
  }
}

void Logbook::Show(int id, const std::string& ansi) { SetDlgItemTextW(hwnd_, id, Widen(ansi).c_str()); }

LRESULT CALLBACK Logbook::Trampoline(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) noexcept {
  if (msg == WM_NCCREATE) {
    auto* self = static_cast<Logbook*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
    self->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<Logbook*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self) return DefWindowProcW(hwnd, msg, wp, lp);
  if (msg == WM_NCDESTROY) SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
  try {
    return self->Handle(msg, wp, lp);
  } catch (...) {
    // A stand-in that fails must not take the test down with an unwinding window procedure.
    self->journal_.Write("log", "ERROR exception");
    return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

LRESULT Logbook::Handle(UINT msg, WPARAM wp, LPARAM lp) {
  // Registered message ids are only known at run time, so they cannot be switch cases.
  if (msg == funcMsg_) {
    OnFunc(wp, lp);
    return 0;
  }
  if (msg == logMsg_) {
    OnLogMsg(wp, lp);
    return 0;
  }
  switch (msg) {
    case WM_COPYDATA:
      return OnCopyData(reinterpret_cast<HWND>(wp), reinterpret_cast<const COPYDATASTRUCT*>(lp));
    case WM_DESTROY:
      OnDestroy();
      return 0;
    default:
      return DefWindowProcW(hwnd_, msg, wp, lp);
  }
}

void Logbook::OnFunc(WPARAM wp, LPARAM lp) {
  journal_.Write("log", "FUNC " + std::to_string(wp) + " " + std::to_string(lp));
  Show(kIdAnnounced, Announcement(wp, lp));
  if (config_.hangMs > 0) {
    // Plays a program that stops answering while QSOPAD broadcasts to it.
    journal_.Write("log", "HANG " + std::to_string(config_.hangMs));
    Sleep(static_cast<DWORD>(config_.hangMs));
    journal_.Write("log", "HANGEND");
  }
}

void Logbook::OnLogMsg(WPARAM wp, LPARAM lp) {
  // Our own broadcast comes back here too, as "LOGMSG 0 <our window>".
  journal_.Write("log", "LOGMSG " + std::to_string(wp) + " " + Hex(static_cast<std::uint64_t>(lp)));
  if (wp != kHandshakeAnswer || lp == 0) return;
  partner_ = reinterpret_cast<HWND>(lp);
  journal_.Write("log", "PAIRED " + Hex(partner_));
  Show(kIdPartner, "paired with " + Hex(partner_));
}

LRESULT Logbook::OnCopyData(HWND sender, const COPYDATASTRUCT* record) {
  if (!record) {
    journal_.Write("log", "BADCOPYDATA " + Hex(sender));
    return FALSE;
  }
  if (record->dwData >= kCommandFirst) return OnCommand(*record);
  OnRecord(sender, *record);
  return TRUE;
}

void Logbook::OnRecord(HWND sender, const COPYDATASTRUCT& record) {
  const std::string bytes =
      record.lpData ? std::string(static_cast<const char*>(record.lpData), record.cbData) : std::string();
  journal_.Write("log", "RECORD " + std::to_string(record.dwData) + " " + std::to_string(record.cbData) + " " +
                            Hex(sender) + " " + Escape(bytes));
  // The window shows what a log program would take into its entry form: the text up to a NUL.
  const std::string text = bytes.substr(0, bytes.find('\0'));
  if (record.dwData == kCodeCall) Show(kIdCall, text);
  if (record.dwData == kCodeName) Show(kIdName, text);
  if (record.dwData == kCodeClosing && sender == partner_ && partner_) {
    journal_.Write("log", "UNPAIRED " + Hex(partner_));
    partner_ = nullptr;
    Show(kIdPartner, "not paired");
  }
}

LRESULT Logbook::OnCommand(const COPYDATASTRUCT& command) {
  const ULONG_PTR what = command.dwData;
  if (what >= kCommandSend && what <= kCommandSendLast) {
    return SendRecord(what - kCommandSend, command.cbData ? command.lpData : nullptr, command.cbData);
  }
  switch (what) {
    case kCommandSendLong: {
      std::string text(kLongRecordBytes, '\0');
      for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>('A' + i % 26);
      return SendRecord(kCodeCall, text.data(), kLongRecordBytes);
    }
    case kCommandSendNull:
      return SendRecord(kCodeCall, nullptr, kNullRecordBytes);
    case kCommandSendEmpty: {
      // A real buffer, as a sender that fills its buffer but counts no bytes would pass.
      const char empty[16] = {};
      return SendRecord(kCodeName, empty, 0);
    }
    case kCommandPair:
      Pair();
      return TRUE;
    default:
      journal_.Write("log", "BADCMD " + Hex(what));
      return FALSE;
  }
}

void Logbook::Pair() {
  const BOOL posted = PostMessageW(HWND_BROADCAST, logMsg_, kHandshake, reinterpret_cast<LPARAM>(hwnd_));
  journal_.Write("log", "PAIRREQ " + std::to_string(posted ? 1 : 0));
}

bool Logbook::SendRecord(ULONG_PTR code, const void* data, DWORD size) {
  if (!partner_) {
    journal_.Write("log", "NOPARTNER " + std::to_string(code));
    return false;
  }
  COPYDATASTRUCT record{};
  record.dwData = code;
  record.cbData = size;
  record.lpData = const_cast<void*>(data);
  DWORD_PTR result = 0;
  // SMTO_NORMAL lets the driver, which waits in its own send to us, handle the record when it
  // plays the partner itself.
  const LRESULT ok = SendMessageTimeoutW(partner_, WM_COPYDATA, reinterpret_cast<WPARAM>(hwnd_),
                                         reinterpret_cast<LPARAM>(&record), SMTO_NORMAL | SMTO_ABORTIFHUNG,
                                         kSendTimeoutMs, &result);
  if (ok) {
    journal_.Write("log", "SENT " + std::to_string(code) + " " + std::to_string(result));
  } else {
    journal_.Write("log", "SENT " + std::to_string(code) + " failed:" + std::to_string(GetLastError()));
  }
  return ok != 0;
}

void Logbook::OnDestroy() { PostQuitMessage(0); }

}  // namespace qsolog
