#include "net/inethttp.h"

#include <algorithm>
#include <utility>

#include "os/env.h"
#include "os/file.h"
#include "stub/mainwin.h"
#include "sys/files.h"
#include "sys/kdebug.h"
#include "sys/utils.h"
#include "ui/kmsgbox.h"
#include "ui/kprogbar.h"

namespace kv {

const char* const kAgentPreliminary = "HTTP_Connect_2";
const char* const kAgentDownload = "HTTP_Connect_3";

namespace {

bool g_downloadAbort = false;

// An Internet handle that closes itself.
class InetOwner {
 public:
  InetOwner() = default;
  explicit InetOwner(os::InetHandle h) : h_(h) {}
  ~InetOwner() { reset(); }
  InetOwner(const InetOwner&) = delete;
  InetOwner& operator=(const InetOwner&) = delete;
  InetOwner(InetOwner&& o) noexcept : h_(std::exchange(o.h_, 0)) {}
  InetOwner& operator=(InetOwner&& o) noexcept {
    if (this != &o) {
      reset();
      h_ = std::exchange(o.h_, 0);
    }
    return *this;
  }
  os::InetHandle get() const { return h_; }
  explicit operator bool() const { return h_ != 0; }
  void reset() {
    if (h_) os::InetCloseHandle(h_);
    h_ = 0;
  }

 private:
  os::InetHandle h_ = 0;
};

InetOwner OpenSession(const char* agent) {
  return InetOwner(os::InetOpen(agent, os::kInetOpenTypePreconfig, "", 0));
}

// A throw-away request to the same address before the one that counts: it
// brings up a dial-up line or proxy connection ahead of the timed request.
// Its outcome does not matter.
void PreliminaryRequest(const std::string& url) {
  InetOwner session = OpenSession(kAgentPreliminary);
  if (!session) return;
  InetOwner request(os::InetOpenUrl(session.get(), url, "", 0));
}

void SetTimeouts(os::InetHandle session) {
  // The receive and send time-outs double as the control-channel ones (the
  // same option numbers); they are set twice, as the library's callers
  // traditionally do.
  const std::uint32_t options[] = {
      os::kInetOptionConnectTimeout,     os::kInetOptionReceiveTimeout,
      os::kInetOptionSendTimeout,        os::kInetOptionReceiveTimeout,
      os::kInetOptionSendTimeout,        os::kInetOptionDataReceiveTimeout,
      os::kInetOptionDataSendTimeout,
  };
  for (std::uint32_t option : options) os::InetSetOption(session, option, kDownloadTimeoutMs);
}

// The request of a download, in the anonymous or the authenticated form.
// connection receives the connection handle of the authenticated form.
InetOwner OpenDownloadRequest(os::InetHandle session, const std::string& url,
                              const std::string& user, const std::string& password,
                              InetOwner& connection) {
  if (user.empty())
    return InetOwner(
        os::InetOpenUrl(session, AnonymousRequestUrl(url), "", os::kInetFlagReload));

  std::string host, path;
  SplitAuthenticatedUrl(url, host, path);
  connection = InetOwner(os::InetConnect(session, host, os::kInetDefaultHttpPort, user, password,
                                         os::kInetServiceHttp, 0));
  if (!connection) return InetOwner();
  InetOwner request(os::InetOpenRequest(connection.get(), "GET", "/" + path, os::kInetFlagReload));
  if (!request || !os::InetSendRequest(request.get())) return InetOwner();
  return request;
}

std::string ReadFailureText(const std::string& displayName) {
  std::string reason = LastErrorText();
  if (reason.empty()) reason = os::InetLastResponseInfo(1024);
  std::string text = displayName + " --- Error downloading file";
  if (!reason.empty()) text += " (" + reason + ")";
  return text;
}

}  // namespace

// ---------------------------------------------------------------- pieces

std::uint32_t DownloadChunkSize(std::uint32_t announcedSize) {
  return std::min<std::uint32_t>(kMaxChunkSize, std::max<std::uint32_t>(1, announcedSize / 10));
}

int DownloadProgressMaximum(std::uint32_t announcedSize, std::uint32_t chunk) {
  if (chunk == 0) chunk = 1;
  const std::uint64_t steps = (std::uint64_t{announcedSize} + chunk - 1) / chunk;
  return static_cast<int>(std::min<std::uint64_t>(steps + 1, 0x7FFFFFFF));
}

std::uint32_t InetTimeToDosDateTime(const os::InetSystemTime& t) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (t.year < 1980 || t.year > 2107 || t.month < 1 || t.month > 12 || t.day < 1) return 0;
  const bool leap = (t.year % 4 == 0 && t.year % 100 != 0) || t.year % 400 == 0;
  const int days = kDays[t.month - 1] + (t.month == 2 && leap ? 1 : 0);
  if (t.day > days || t.hour < 0 || t.hour > 23 || t.minute < 0 || t.minute > 59 ||
      t.second < 0 || t.second > 59)
    return 0;
  const std::uint32_t date = (static_cast<std::uint32_t>(t.year - 1980) << 9) |
                             (static_cast<std::uint32_t>(t.month) << 5) |
                             static_cast<std::uint32_t>(t.day);
  const std::uint32_t time = (static_cast<std::uint32_t>(t.hour) << 11) |
                             (static_cast<std::uint32_t>(t.minute) << 5) |
                             static_cast<std::uint32_t>(t.second / 2);
  return (date << 16) | time;
}

std::string DownloadPartFileName(const std::string& target, std::uint32_t announcedSize,
                                 std::uint32_t dosDateTime) {
  const std::uint32_t sum = announcedSize + dosDateTime;  // wraps, as the name expects
  return target + "." + std::to_string(sum);
}

std::string DownloadDisplayName(const std::string& url) {
  return ExtractFileName(ReplaceChar(url, '/', '\\'));
}

std::string AnonymousRequestUrl(const std::string& url) {
  if (PosNoCase("http://", url) > 0 || StartsWith("https://", url, true)) return url;
  return "http://" + url;
}

void SplitAuthenticatedUrl(const std::string& url, std::string& host, std::string& path) {
  const std::string rest = ReplaceTextNoCase(url, "http://", "");
  const std::string::size_type slash = rest.find('/');
  if (slash == std::string::npos) {
    host.clear();
    path.clear();
    return;
  }
  host = rest.substr(0, slash);
  path = rest.substr(slash + 1);
}

// The target itself is spared: the system's wildcard rules let "name.*"
// match "name", and a file from before may go only once its successor is
// complete.
void DeleteDownloadPartFiles(const std::string& target) {
  if (target.empty()) return;
  const std::string folder = ExtractFileDir(target);
  const std::string prefix = folder.empty() ? std::string() : folder + "\\";
  const std::string own = UpperAscii(ExtractFileName(target));
  for (const os::DirEntry& e : os::ListDir(target + ".*")) {
    if (e.isDir || UpperAscii(e.name) == own) continue;
    const std::string file = prefix + e.name;
    os::SetAttributesNormal(file);
    os::DeleteFile(file);
  }
}

// ---------------------------------------------------------------- connection and size

bool HTTP_CheckConnection(std::string& error) {
  const bool connected = os::InetConnectedState();
  error = connected ? std::string() : LastErrorText();
  return connected;
}

bool HTTP_IsConnected() { return os::InetConnectedState(); }

std::int32_t HTTP_GetFileSize(const std::string& url) {
  PreliminaryRequest(url);
  InetOwner session = OpenSession(kAgentPreliminary);
  if (!session) return -1;
  InetOwner request(os::InetOpenUrl(session.get(), url, "", 0));
  if (!request) return -1;
  std::int32_t size = -1;
  std::uint32_t value = 0;
  if (os::InetQueryNumber(request.get(), os::kHttpQueryContentLength | os::kHttpQueryFlagNumber,
                          value))
    size = static_cast<std::int32_t>(value);
  WriteDebugOutput("HTTP_GetFileSize=" + std::to_string(size) + "  " + url);
  return size;
}

// ---------------------------------------------------------------- download

bool HTTP_DownloadFile_Incremental(MainWindow* window, const std::string& url,
                                   const std::string& target, const std::string& user,
                                   const std::string& password, std::string& content,
                                   TProgBar* progress, std::string& error) {
  StopwatchStart(0, "");
  const std::string displayName = DownloadDisplayName(url);
  error.clear();
  content.clear();
  std::uint64_t received = 0;
  std::string partFile = target;
  std::uint32_t announced = 0;

  if (progress) progress->SetRange(1, 100);
  PreliminaryRequest(url);

  if (InetOwner session = OpenSession(kAgentDownload); !session) {
    error = "Unable to initialize \"WinINet.dll\"";
  } else {
    SetTimeouts(session.get());
    InetOwner connection;
    InetOwner request = OpenDownloadRequest(session.get(), url, user, password, connection);
    if (!request) {
      error = "Unable to open Internet Connection: " + url;
    } else {
      std::uint32_t value = 0;
      // An absent length reads as -1, which as an unsigned size is the most
      // the download may bring; the byte count then never matches.
      announced = os::InetQueryNumber(request.get(),
                                      os::kHttpQueryContentLength | os::kHttpQueryFlagNumber, value)
                      ? value
                      : 0xFFFFFFFFu;
      os::InetSystemTime modified;
      const std::uint32_t date =
          os::InetQuerySystemTime(request.get(),
                                  os::kHttpQueryLastModified | os::kHttpQueryFlagSystemTime, modified)
              ? InetTimeToDosDateTime(modified)
              : 0;

      if (announced == 0) {
        error = url + " --- File Not Found !";
      } else {
        if (window) window->Show();
        if (!target.empty()) {
          partFile = DownloadPartFileName(target, announced, date);
          DeleteDownloadPartFiles(target);
        }
        const std::uint32_t chunk = DownloadChunkSize(announced);
        if (progress) {
          progress->SetRange(1, DownloadProgressMaximum(announced, chunk));
          progress->SetCaption(displayName);
        }

        std::string piece;
        std::size_t n = 0;
        do {
          WaitWithMessages(0, 2);
          piece.resize(chunk);
          n = 0;
          const bool ok = os::InetReadFile(request.get(), &piece[0], piece.size(), n);
          if (ok) {
            n = std::min(n, piece.size());
            piece.resize(n);
            received += n;
            if (target.empty()) {
              content += piece;
            } else if (content.size() < kContentHeadBytes) {
              content.append(piece, 0, std::min(n, kContentHeadBytes - content.size()));
            }
            if (n > 0 && !partFile.empty() && !AppendToFile(partFile, piece)) {
              // A part file that misses a chunk can never be completed.
              error = ReadFailureText(displayName);
              n = 0;
            }
          } else {
            error = ReadFailureText(displayName);
            n = 0;
          }
          if (progress && ok && n > 0) progress->Step();
          // More than announced can only end in a size mismatch; a server
          // that never stops must not fill the disk.
          if (received > announced) n = 0;
        } while (n > 0 && !IsDownloadAborted());

        if (IsDownloadAborted()) error = "Download Aborted!";
        if (!partFile.empty() && partFile != target && os::FileExists(partFile) &&
            static_cast<std::uint64_t>(GetFileSizeByName(partFile)) == announced) {
          os::DeleteFile(target);
          if (!os::MoveFile(partFile, target) && error.empty())
            error = ReadFailureText(displayName);
        }
      }
    }
    // Closed here, in this order: request, connection, session.
  }

  if (error.empty() && received != announced)
    error = displayName + " --- Error downloading file (size mismatch)";
  if (!error.empty()) WriteDebugOutputPid(" HTTP_DownloadFile_Incremental: " + error);
  StopwatchReport(0, "");
  return error.empty();
}

bool HTTP_DownloadFile(MainWindow* window, const std::string& url, const std::string& target,
                       std::string& content, TProgBar* progress, std::string& error) {
  return HTTP_DownloadFile_Incremental(window, url, target, "", "", content, progress, error);
}

void SetDownloadAbort(bool abort) { g_downloadAbort = abort; }
bool IsDownloadAborted() { return g_downloadAbort; }

void UnloadWinINet() { os::UnloadWinINet(); }

// ---------------------------------------------------------------- HTML error pages

bool IsHtmlErrorPage(const std::string& fileName, const std::string& content) {
  std::string text = content;
  if (!fileName.empty() && os::FileExists(fileName))
    text = ReadFilePart(fileName, static_cast<std::int64_t>(kErrorPageProbeBytes));
  if (text.size() > kErrorPageProbeBytes) text.resize(kErrorPageProbeBytes);

  const int a = PosNoCase("<TITLE", text);
  const int b = PosNoCase("404", text);
  const int c = PosNoCase("</TITLE>", text);
  const bool titleRule = a > 0 && a < b && b < c;

  const int h = PosNoCase("<HTML>", text);
  const int d = PosNoCase("<HEAD>", text);
  const int t = PosNoCase("<TITLE>", text);
  const int e = PosNoCase("</TITLE>", text);
  const bool pageRule = h > 0 && h < d && d < t && t < e;
  return titleRule || pageRule;
}

std::string GetErrorPageMessage(const std::string& fileName, const std::string& content,
                                const std::string& url, const std::string& def) {
  if (!IsHtmlErrorPage(fileName, content)) return def;
  return "<B>404 File Not Found...</B><P><P>URL:  " + url + "." +
         "<P><P>Please make sure the file is available and access is allowed to this file.";
}

}  // namespace kv
