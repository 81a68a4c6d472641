// System facts and devices that the portable logic needs: the thread's
// locale, a file's time stamp in packed DOS form, and the eject request of a
// removable medium.
#pragma once
#include <cstdint>
#include <string>

namespace os {

// The locale identifier of the calling thread (GetThreadLocale); 0 on failure.
std::uint32_t GetThreadLocale();

// The file's last modification time in local time, packed the DOS way: date
// in the high 16 bits, time of day in the low 16 bits (hours * 2048 +
// minutes * 32 + seconds / 2). False when the file cannot be queried.
bool GetFileDosDateTime(const std::string& path, std::uint32_t& packed);

// A device opened by its name ("\\.\E:"), to send it an eject request.
// Move-only; closes itself.
class MediaDevice {
 public:
  MediaDevice() = default;
  ~MediaDevice() { close(); }
  MediaDevice(const MediaDevice&) = delete;
  MediaDevice& operator=(const MediaDevice&) = delete;
  MediaDevice(MediaDevice&& o) noexcept : h_(o.h_) { o.h_ = kInvalid; }
  MediaDevice& operator=(MediaDevice&& o) noexcept {
    if (this != &o) { close(); h_ = o.h_; o.h_ = kInvalid; }
    return *this;
  }

  // Opens an existing device, shared for readers and writers, with read and
  // write access or with read access only.
  bool open(const std::string& deviceName, bool readWrite);
  bool isOpen() const { return h_ != kInvalid; }
  // The handle value as the system gives it (-1 when the open failed), for
  // diagnostic lines.
  std::intptr_t handleValue() const { return h_; }
  // Asks the device to eject its medium (IOCTL_STORAGE_EJECT_MEDIA).
  bool ejectMedia();
  void close();

 private:
  static constexpr std::intptr_t kInvalid = -1;
  std::intptr_t h_ = kInvalid;
};

}  // namespace os
