// The settings file parser: reading never fails, and a write changes only its own value.
#include <algorithm>
#include <map>

#include "fuzz.h"
#include "registryfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const std::string path = in.ConsumeRandomLengthString(40);
  const std::string other = in.ConsumeRandomLengthString(40);
  const std::string text = in.ConsumeRandomLengthString(40);
  const std::string content = in.ConsumeRemainingBytesAsString();
  auto noEnv = [](const char*) -> const char* { return nullptr; };

  const std::string after = core::registry::SetText(content, path, text);
  // Every line of the old file that is gone was this value's own line (or a duplicate of it):
  // set in a file of that line alone, it goes too.
  std::map<std::string, int> kept;
  for (const std::string& line : Lines(after)) ++kept[line];
  const std::string key = path.rfind('\\') == std::string::npos ? "" : path.substr(0, path.rfind('\\'));
  for (const std::string& line : Lines(content)) {
    if (kept[line] > 0) {
      --kept[line];
      continue;
    }
    // Two different probes: the line may itself hold one of them.
    const std::string alone = "[" + key + "]\n" + line + "\n";
    bool replaced = false;
    for (const char* probe : {"probe-1", "probe-2"}) {
      const std::vector<std::string> rewritten = Lines(core::registry::SetText(alone, path, probe));
      replaced |= std::find(rewritten.begin(), rewritten.end(), line) == rewritten.end();
    }
    FUZZ_CHECK(replaced, "a write removed a line that is not its own value");
  }
  // Any other value reads as it did. Keys and names compare without regard to ASCII case,
  // and "key\name" splits at the last backslash: what is the same after that is this value.
  auto lowered = [](std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    const size_t slash = text.rfind('\\');
    return slash == std::string::npos ? "\\" + text : text;
  };
  if (lowered(other) != lowered(path))
    FUZZ_CHECK(core::registry::FindText(content, other, noEnv) == core::registry::FindText(after, other, noEnv),
               "a write changed another value");
  return 0;
}
