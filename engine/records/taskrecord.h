#pragma once
// The name-keyed record builder behind the two download engine records: a zero-filled block
// in which named fixed-width fields are laid out one after another in the order they are
// added, then read and written by name. Fields are found by the CRC-32 of their name.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace records {

class TaskRecord {
 public:
  TaskRecord() = default;
  TaskRecord(const TaskRecord&) = delete;
  TaskRecord& operator=(const TaskRecord&) = delete;
  ~TaskRecord() { Release(); }

  // A new zero-filled block (released first); its address, or nullptr on failure.
  std::uint8_t* Create(int alignment = 1, std::uint8_t fillByte = 0xCC, int capacity = 1024);
  void Release();
  // False when the name is taken or the field would end past the capacity.
  bool AddField(std::string_view name, int size, std::string_view initialBytes = {});
  int FindField(std::string_view name) const;  // 1-based, 0 when absent
  std::string ReadField(std::string_view name) const;
  bool WriteField(std::string_view name, std::string_view bytes);
  int UsedSize() const { return used_; }
  std::uint8_t* Address() const { return block_.get(); }

 private:
  struct FieldSlot {
    std::string name;
    std::uint8_t* address;
    int size;
    std::uint32_t nameCrc;
  };
  const FieldSlot* Slot(std::string_view name) const;

  int alignment_ = 1;
  std::uint8_t fill_ = 0xCC;
  int capacity_ = 0;
  std::unique_ptr<std::uint8_t[]> block_;
  int used_ = 0;
  std::vector<FieldSlot> fields_;
};

// The UTF-16 form of a GBK text with its terminating zero unit; nothing when it does not fit
// `fieldBytes` (a text is refused rather than cut).
std::optional<std::string> FieldText(std::string_view gbk, size_t fieldBytes);

// The block DL_DelTempFile takes for a folder and name; empty when a text does not fit.
std::string TempFileBlock(std::u16string_view folder, std::u16string_view name);

// The task-creation record given to DL_CreateTask and DL_DelTempFile.
class TaskCreateParams {
 public:
  // False when the block could not be made or a text does not fit its field.
  bool Build(std::string_view taskUrl = {}, std::string_view refUrl = {}, std::string_view cookies = {},
             std::string_view filename = {}, std::string_view savePath = {}, bool isOnlyOriginal = false,
             bool disableAutoRename = false, bool isResume = true);
  // The same from UTF-16 texts, as the window's edit boxes hold them: a folder or name with
  // characters outside GBK reaches the engine unchanged.
  bool BuildUtf16(std::u16string_view taskUrl, std::u16string_view filename, std::u16string_view savePath,
                  bool isOnlyOriginal, bool disableAutoRename, bool isResume);
  std::uint8_t* Address() const { return record_.Address(); }
  void Release() { record_.Release(); }
  TaskRecord& record() { return record_; }

  std::string szTaskUrl() const;
  bool szTaskUrl(std::string_view v);
  std::string szRefUrl() const;
  bool szRefUrl(std::string_view v);
  std::string szCookies() const;
  bool szCookies(std::string_view v);
  std::string szFilename() const;
  bool szFilename(std::string_view v);
  std::string szSavePath() const;
  bool szSavePath(std::string_view v);
  bool IsOnlyOriginal() const;
  bool IsOnlyOriginal(bool v);
  bool DisableAutoRename() const;
  bool DisableAutoRename(bool v);
  bool IsResume() const;
  bool IsResume(bool v);

 private:
  bool Lay(std::optional<std::string> url, std::optional<std::string> ref, std::optional<std::string> cookies,
           std::optional<std::string> name, std::optional<std::string> path, bool isOnlyOriginal,
           bool disableAutoRename, bool isResume);
  TaskRecord record_;
};

// The task-progress record filled by DL_QueryTaskInfoEx.
class TaskProgressInfo {
 public:
  bool Build();
  std::uint8_t* Address() const { return record_.Address(); }
  void Release() { record_.Release(); }
  TaskRecord& record() { return record_; }

  std::int32_t stat() const;
  bool stat(std::int32_t v);
  std::int32_t fail_code() const;
  bool fail_code(std::int32_t v);
  std::int32_t nSrcTotal() const;
  bool nSrcTotal(std::int32_t v);
  std::int32_t nSrcUsing() const;
  bool nSrcUsing(std::int32_t v);
  std::int32_t nSpeed() const;
  bool nSpeed(std::int32_t v);
  std::int32_t nSpeedP2S() const;
  bool nSpeedP2S(std::int32_t v);
  std::int32_t nSpeedP2P() const;
  bool nSpeedP2P(std::int32_t v);
  std::int32_t IsCreatingFile() const;
  bool IsCreatingFile(std::int32_t v);
  std::int64_t nTotalSize() const;
  bool nTotalSize(std::int64_t v);
  std::int64_t nTotalDownload() const;
  bool nTotalDownload(std::int64_t v);
  std::int64_t nDonationP2P() const;
  bool nDonationP2P(std::int64_t v);
  std::int64_t nDonationOrgin() const;
  bool nDonationOrgin(std::int64_t v);
  std::int64_t nDonationP2S() const;
  bool nDonationP2S(std::int64_t v);
  float fPercent() const;
  bool fPercent(float v);
  bool bIsOriginUsable() const;
  bool bIsOriginUsable(bool v);
  std::string szFilename() const;
  bool szFilename(std::string_view v);

 private:
  TaskRecord record_;
};

}  // namespace records
