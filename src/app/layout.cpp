#include "app/layout.h"

#include <string>

namespace qsopad {

LayoutResult ComputeLayout(const LayoutInput& in) {
  LayoutResult out;
  const int band = in.inner_height - in.status_height;
  if (in.inner_height != 0) {
    out.heights_set = true;
    for (int i = 0; i < 6; ++i) out.buttons[i].top = band - in.buttons[i].height;
    out.text_height = in.command1_visible ? band - in.buttons[0].height : band;
  }
  if (in.inner_width != 0) {
    out.widths_set = true;
    out.text_width = in.inner_width;
    const int w1 = in.buttons[0].width;
    const int w3 = in.buttons[2].width;
    // Halves round to the nearest pixel: 2.5 and 1.5 button widths.
    out.buttons[1].left = in.inner_width - w1;
    out.buttons[0].left = in.inner_width - (5 * w1 + 1) / 2;
    out.buttons[2].left = 0;
    out.buttons[3].left = (3 * w3 + 1) / 2;
    out.buttons[4].left = 3 * w3;
    out.buttons[5].left = (9 * w3 + 1) / 2;
  }
  return out;
}

int AccessKeyButton(const std::array<std::string, 6>& captions, char letter) {
  const auto upper = [](char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  };
  for (std::size_t i = 0; i < captions.size(); ++i) {
    const std::string& caption = captions[i];
    // "&&" is a literal ampersand, not an access key.
    for (std::size_t amp = caption.find('&'); amp != std::string::npos && amp + 1 < caption.size();
         amp = caption.find('&', amp + 2)) {
      if (caption[amp + 1] == '&') continue;
      if (upper(caption[amp + 1]) == upper(letter)) return static_cast<int>(i) + 1;
      break;
    }
  }
  return 0;
}

}  // namespace qsopad
