#include "verify.h"

#include <cstring>
#include <libtorrent/bencode.hpp>
#include <libtorrent/create_torrent.hpp>
#include <libtorrent/file_storage.hpp>
#include <libtorrent/hasher.hpp>
#include <libtorrent/torrent_info.hpp>
#include <memory>

#include "archivetorrent.h"
#include "files.h"
#include "platform/fileio.h"

namespace torrent {

namespace {

// What a torrent file may make us hold: its own size is bounded by the caller's read, the
// pieces by libtorrent's limits.
constexpr size_t kMaxTorrentBytes = 64 << 20;

std::unique_ptr<lt::torrent_info> ReadTorrent(std::string_view bytes, std::string& failure) {
  if (bytes.empty() || bytes.size() > kMaxTorrentBytes) {
    failure = "不是种子文件（大小不对）";
    return nullptr;
  }
  // Throws on anything that is not a torrent within libtorrent's limits.
  return std::make_unique<lt::torrent_info>(lt::span<const char>(bytes.data(), std::ptrdiff_t(bytes.size())),
                                            lt::load_torrent_limits{}, lt::from_span);
}

// Reads exactly `size` bytes or up to the end of the file; the count read.
std::int64_t ReadFully(platform::FileHandle fd, char* into, std::int64_t size) {
  std::int64_t done = 0;
  while (done < size) {
    const std::int64_t n = platform::ReadSome(fd, into + done, size_t(size - done));
    if (n <= 0) break;
    done += n;
  }
  return done;
}

// The archive opened for reading: a regular file of the torrent's size; kNoFile (with
// `v.failure`) otherwise, said before any hashing.
platform::FileHandle OpenArchive(const std::string& archivePath, Verification& v) {
  // A FIFO does not wait.
  const platform::FileHandle fd = platform::OpenFile(archivePath, platform::OpenMode::kReadNoWait);
  if (fd == platform::kNoFile) {
    v.failure = "无法打开文件（" + std::string(platform::FaultWords(platform::LastFault())) + "）";
    return platform::kNoFile;
  }
  const std::optional<platform::FileFacts> facts = platform::FactsOf(fd);
  if (!facts || !facts->regular) {
    v.failure = "不是普通文件";
  } else if (facts->size != v.size) {  // another size means another file (or a cut one)
    v.failure = "文件大小 " + std::to_string(facts->size) + " 字节，种子说是 " + std::to_string(v.size) + " 字节";
  } else {
    return fd;
  }
  platform::CloseFile(fd);
  return platform::kNoFile;
}

// Every piece hashed and compared; false (with `v.failure`) when reading failed or it stopped.
bool HashPieces(platform::FileHandle fd, const lt::torrent_info& info, Verification& v,
                const std::function<bool(std::int64_t)>& progress) {
  platform::AdviseSequential(fd);
  std::vector<char> buffer(size_t(info.piece_length()));
  std::int64_t at = 0;
  for (int piece = 0; piece < v.pieces; ++piece) {
    const std::int64_t size = info.piece_size(lt::piece_index_t(piece));
    if (ReadFully(fd, buffer.data(), size) != size) {
      v.failure = "读取文件失败（第 " + std::to_string(piece) + " 块）";
      return false;
    }
    lt::hasher h(buffer.data(), int(size));
    if (h.final() != info.hash_for_piece(lt::piece_index_t(piece))) v.bad.push_back({piece, at, at + size});
    at += size;
    if (progress && !progress(at)) {
      v.failure = "已停止";
      return false;
    }
  }
  return true;
}

}  // namespace

std::unique_ptr<lt::torrent_info> ArchiveTorrent(std::string_view torrentBytes, std::string& failure) {
  std::unique_ptr<lt::torrent_info> info;
  try {
    info = ReadTorrent(torrentBytes, failure);
  } catch (const std::exception& e) {
    failure = std::string("不是种子文件（") + e.what() + "）";
    return nullptr;
  }
  if (!info) return nullptr;
  if (!info->v1()) {
    failure = "只有 v2 校验值的种子暂不支持";
    return nullptr;
  }
  if (info->num_files() != 1) {
    failure = "种子描述的是 " + std::to_string(info->num_files()) + " 个文件，不是一个压缩包";
    return nullptr;
  }
  return info;
}

Verification VerifyArchive(const std::string& archivePath, std::string_view torrentBytes,
                           const std::function<bool(std::int64_t)>& progress) {
  Verification v;
  v.torrentAtFault = true;  // until the torrent is known good
  const std::unique_ptr<lt::torrent_info> info = ArchiveTorrent(torrentBytes, v.failure);
  if (!info) return v;
  v.torrentAtFault = false;
  v.name = info->files().file_name(lt::file_index_t(0)).to_string();
  v.size = info->total_size();
  v.pieces = info->num_pieces();
  const platform::FileHandle fd = OpenArchive(archivePath, v);
  if (fd == platform::kNoFile) return v;
  v.checked = HashPieces(fd, *info, v, progress);
  platform::CloseFile(fd);
  return v;
}

std::string CreateTorrent(const std::string& name, std::string_view content, int pieceLength,
                          const std::string& webSeed) {
  lt::file_storage files;
  files.add_file(name, std::int64_t(content.size()));
  lt::create_torrent t(files, pieceLength, lt::create_torrent::v1_only);
  for (int piece = 0; piece < t.num_pieces(); ++piece) {
    const std::int64_t begin = std::int64_t(piece) * pieceLength;
    const std::string_view bytes = content.substr(size_t(begin), size_t(t.piece_size(lt::piece_index_t(piece))));
    t.set_hash(lt::piece_index_t(piece), lt::hasher(bytes.data(), int(bytes.size())).final());
  }
  t.set_creation_date(0);  // the same content gives the same torrent
  if (!webSeed.empty()) t.add_url_seed(webSeed);
  std::string out;
  lt::bencode(std::back_inserter(out), t.generate());
  return out;
}

std::optional<std::string> ReadTorrentFile(const std::string& path) {
  return common::ReadFileUpTo(path, kMaxTorrentBytes);
}

}  // namespace torrent
