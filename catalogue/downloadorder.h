#pragma once
// What a download needs from the catalogue: the address on the download server and the file
// name to save under (UTF-8; the name is safe to use inside the save folder).
#include <string>

namespace catalogue {

struct DownloadOrder {
  std::string address;
  std::string fileName;
  bool operator==(const DownloadOrder&) const = default;
};

}  // namespace catalogue
