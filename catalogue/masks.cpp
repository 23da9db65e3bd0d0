#include "catalogue/masks.h"

namespace catalogue {

std::string JoinMasks(const std::vector<std::string>& masks) {
  std::string text;
  for (const std::string& mask : masks) {
    text += mask;
    text += kMaskSeparator;
  }
  return text;
}

std::vector<std::string> SplitMasks(std::string_view text) {
  std::vector<std::string> masks;
  while (!text.empty()) {
    const std::size_t separator = text.find(kMaskSeparator);
    if (separator == std::string_view::npos) {
      masks.emplace_back(text);
      break;
    }
    masks.emplace_back(text.substr(0, separator));
    text.remove_prefix(separator + kMaskSeparator.size());
  }
  return masks;
}

}  // namespace catalogue
