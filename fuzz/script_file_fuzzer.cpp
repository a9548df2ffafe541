// The shipped update scripts as the program finds them beside itself: the
// container check on any file, and the cutting into sections of any text
// that passes it. The first input byte chooses whether the rest is written
// as it is or sealed with a valid digest first.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/updater_controller.h"
#include "fuzz/fuzz_support.h"
#include "scripts/md5.h"
#include "scripts/scrambled_container.h"
#include "scripts/script_files.h"

namespace {

std::string Sealed(std::string text) {
  if (!text.empty()) SwapNibbles(&text[0], text.size());
  return text + Md5Hex(text.data(), text.size());
}

std::size_t PiecesLength(const ScriptSet& set) {
  return set.mainBody.size() + set.rollbackSection.size() + set.checkUpdatePendingSection.size() +
         set.deviceInfoSection.size() + set.setHostNameSection.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const bool seal = (data[0] & 1) != 0;
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::string& dir = fuzz::ScratchDirectory();
  const std::string kfw = dir + "UpdatingScript_kfw.data";
  FUZZ_CHECK(fuzz::WriteFile(kfw, seal ? Sealed(text) : text));
  // The second family's file is the other form, so both paths run each time.
  FUZZ_CHECK(fuzz::WriteFile(dir + "UpdatingScript_kf4.data", seal ? text : Sealed(text)));

  std::string plain;
  const bool loaded = LoadScriptFile(kfw, plain);
  // A sealed text loads back unchanged, whatever it holds (an empty one
  // leaves a file of the digest alone, which is refused).
  if (seal) FUZZ_CHECK(loaded == !text.empty() && (!loaded || plain == text));

  UpdaterController controller;
  LoadScriptSets(controller, dir);
  for (const ScriptSet& set : controller.scriptSets) {
    // Cutting moves text into the sections; it never adds any.
    FUZZ_CHECK(PiecesLength(set) <= text.size());
  }
  return 0;
}
