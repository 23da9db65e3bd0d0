// The mask text of a folder record: the folder's file masks, each followed by "; " (a
// semicolon and a blank), cut like every text to its field's capacity (kMasksCapacity bytes,
// records.h). The folder dialog, the main window and the backup's selection all read and
// write it through these two functions.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace catalogue {

inline constexpr std::string_view kMaskSeparator = "; ";

// Every mask in list order, each followed by "; "; an empty list gives the empty text.
std::string JoinMasks(const std::vector<std::string>& masks);
// The reverse: the text before each "; " is one mask. A rest without a closing "; " (a text
// cut at its capacity) is one more mask, so nothing is dropped; empty masks are kept.
std::vector<std::string> SplitMasks(std::string_view text);

}  // namespace catalogue
