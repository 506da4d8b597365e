// The stand-in's windows and its simulated transmitter.
#pragma once

#include <windows.h>

#include <cstdint>
#include <deque>
#include <string>

#include "journal.h"

namespace psk31 {

struct Config {
  bool noPanel = false;
  bool noTune = false;
  bool noMemo = false;
  bool noFreq = false;
  bool evm = false;
  bool demo = false;
  int cps = 30;
  int hangVk = 0;  // 0: never hang
  int hangMs = 2000;
  std::wstring journal;
};

class Station {
 public:
  explicit Station(const Config& config);
  Station(const Station&) = delete;
  Station& operator=(const Station&) = delete;
  ~Station();

  // Registers the classes, builds the windows and shows the form with nCmdShow.
  bool Create(HINSTANCE instance, int nCmdShow);
  Journal& journal() { return journal_; }

  // Entry points of the window procedures; `role` names the window in the journal.
  LRESULT OnApp(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT OnForm(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT OnPanel(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT OnControl(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, WNDPROC base);

 private:
  // One queued item: a character to transmit, or the point where transmission stops.
  struct Item {
    unsigned char ch = 0;
    bool stop = false;
    bool cwid = false;
  };
  enum class Tx { kIdle, kText, kTune };

  const char* RoleOf(HWND hwnd) const;
  void JournalIncoming(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  void MaybeHang(UINT msg, WPARAM wp);
  void Layout();
  void SetCaption();
  void UpdateStatus();

  void OnFunctionKey(int vk);
  void OnMemoChar(WPARAM wp);
  void OnFreqEnter(HWND box);
  void NudgeRx(int delta);
  void StartTx(Tx kind);
  void EndTx(bool cwid);
  void RequestStop(bool cwid);
  void Pump();
  void EchoTransmitted(const std::wstring& text);

  Config config_;
  Journal journal_;
  HFONT font_ = nullptr;
  HWND app_ = nullptr;
  HWND form_ = nullptr;
  HWND panel_ = nullptr;
  HWND status_ = nullptr;
  HWND echo_ = nullptr;
  HWND tune_ = nullptr;
  HWND memo_ = nullptr;
  HWND rxGroup_ = nullptr;
  HWND txGroup_ = nullptr;
  HWND rxBox_ = nullptr;
  HWND txBox_ = nullptr;

  bool qpsk_ = false;
  bool squelch_ = true;
  bool afc_ = true;
  bool net_ = false;
  bool minimized_ = false;
  int rxFreq_ = 1000;
  int txFreq_ = 1000;
  Tx tx_ = Tx::kIdle;
  std::deque<Item> queue_;
  double credit_ = 0;  // characters the transmitter may send now
  std::int64_t lastPumpMs_ = 0;
};

}  // namespace psk31
