// HTTP transfer: the connection test, the size query and the file download
// over the system's Internet library (os/inet.h), and the recognition of an
// HTML error page served in place of a file.
//
// A download runs on the user-interface thread, one at a time. It reads the
// body in chunks of about a tenth of the announced size (at most 1 MiB),
// dispatches window messages between chunks, reports one progress step per
// chunk and stops after the chunk during which the abort flag was set. With a
// target file the body goes chunk by chunk into a part file,
//
//   <target>.<announced size + Last-Modified as a DOS date-time, unsigned 32-bit>
//
// which takes the target's name only when it holds exactly the announced
// number of bytes; until then a target file from before stays untouched.
// A part file left by a broken download is removed by the next download of
// the same target.
#pragma once
#include <cstdint>
#include <string>

#include "os/inet.h"

namespace kv {

class MainWindow;
class TProgBar;

extern const char* const kAgentPreliminary;  // "HTTP_Connect_2"
extern const char* const kAgentDownload;     // "HTTP_Connect_3"
constexpr std::uint32_t kDownloadTimeoutMs = 180000;
constexpr std::uint32_t kMaxChunkSize = 1048576;
// With a target file the content keeps only this head of the body: enough
// to recognise an HTML error page, and a package of any size cannot exhaust
// the memory of a 32-bit process. Without a target the whole body is kept.
constexpr std::size_t kContentHeadBytes = 64 * 1024;
// What IsHtmlErrorPage looks at.
constexpr std::size_t kErrorPageProbeBytes = 1000;

// ---- pieces of the download, exposed for their tests

// min(1048576, max(1, size div 10)).
std::uint32_t DownloadChunkSize(std::uint32_t announcedSize);
// The progress range's maximum: ceil(size / chunk) + 1.
int DownloadProgressMaximum(std::uint32_t announcedSize, std::uint32_t chunk);
// A date as a packed DOS date-time (date high, time low); 0 for a date the
// DOS form cannot hold (before 1980, after 2107) or an invalid one.
std::uint32_t InetTimeToDosDateTime(const os::InetSystemTime& t);
// target + "." + decimal (size + date), the sum taken modulo 2^32.
std::string DownloadPartFileName(const std::string& target, std::uint32_t announcedSize,
                                 std::uint32_t dosDateTime);
// The URL's last path segment (the URL with "/" turned into "\", reduced to
// its file-name part).
std::string DownloadDisplayName(const std::string& url);
// The address opened in the anonymous form: "http://" is put in front of a
// URL that contains no "http://" (any case, anywhere) and does not start
// with "https://" (any case), so that secure addresses keep their scheme.
std::string AnonymousRequestUrl(const std::string& url);
// The authenticated form: every "http://" (any case) removed; host = the
// text before the first "/", path = the text after it (both empty without a
// "/"). The request asks for "/" + path.
void SplitAuthenticatedUrl(const std::string& url, std::string& host, std::string& path);

// Deletes the part files of downloads of target ("<target>.*"), never the
// target itself.
void DeleteDownloadPartFiles(const std::string& target);

// ---- connection and size

// The system says whether the machine is online; when not, error gets the
// system's text for the last error.
bool HTTP_CheckConnection(std::string& error);
bool HTTP_IsConnected();
// The announced length (Content-Length) or -1 when the session or the URL
// cannot be opened or no length is sent.
std::int32_t HTTP_GetFileSize(const std::string& url);

// ---- download

// Downloads url. window: shown once the size is known (nullptr: none).
// target: the file to write (empty: memory only). user, password: empty for
// the anonymous form. content: cleared, then the body (its head only when a
// target is given, see kContentHeadBytes). progress: nullptr for none.
// error: empty on success, else the text to show. Returns error.empty().
bool HTTP_DownloadFile_Incremental(MainWindow* window, const std::string& url,
                                   const std::string& target, const std::string& user,
                                   const std::string& password, std::string& content,
                                   TProgBar* progress, std::string& error);
bool HTTP_DownloadFile(MainWindow* window, const std::string& url, const std::string& target,
                       std::string& content, TProgBar* progress, std::string& error);

// The process-wide abort flag, polled after every chunk. Callers clear it
// before a download; the main window sets it on its first close request.
void SetDownloadAbort(bool abort);
bool IsDownloadAborted();

// Lets the Internet library go; once, when the program ends.
void UnloadWinINet();

// ---- HTML error pages

// Looks at the first 1000 characters of the file (when it exists) or else of
// the content: a "<TITLE" before a "404" before a "</TITLE>", or "<HTML>",
// "<HEAD>", "<TITLE>", "</TITLE>" in this order (any page with a head and a
// title). Tags match without regard to ASCII case.
bool IsHtmlErrorPage(const std::string& fileName, const std::string& content);
// The 404 text (markup) for url when the file or content is an HTML error
// page, else def.
std::string GetErrorPageMessage(const std::string& fileName, const std::string& content,
                                const std::string& url, const std::string& def);

}  // namespace kv
