#pragma once
// Tab completion of the SCPI words an operator types most.
#include <string>

namespace console {

// What Tab adds after `typed` (the line up to the cursor): the rest of the
// one common word that the last word of `typed` begins, in that word's
// spelling, or the part that all such words share. Letters match in either
// case. Empty when nothing can be added.
std::string scpi_completion(const std::string& typed);

}  // namespace console
