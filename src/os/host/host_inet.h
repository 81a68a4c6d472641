// Test controls of the host stand-in for the Internet functions: a scripted
// server answering per URL, and a record of every call made.
//
// A URL opened in one step is looked up as given. A request sent on a
// connection is looked up as "http://" + host + object (the port is recorded,
// not part of the key). A URL with no script fails to open, as an
// unreachable host does.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "os/inet.h"

namespace os::host {

struct FakeHttpAnswer {
  int status = 200;  // informational: the download logic never asks for it
  // Content-Length: the body's size unless set; kNoLength sends none.
  static constexpr std::int64_t kNoLength = -1;
  std::optional<std::int64_t> contentLength;
  std::optional<InetSystemTime> lastModified;  // no Last-Modified when unset
  std::string body;
  // The read that would deliver byte number failReadAt (0-based) fails
  // instead; -1: no failure. A failing read sets the last error to
  // failError and the library's last answer text to failResponse.
  std::int64_t failReadAt = -1;
  std::uint32_t failError = 12002;  // ERROR_INTERNET_TIMEOUT
  std::string failResponse;
  // Slow delivery: at most this many bytes per read (0: as many as asked).
  std::size_t maxBytesPerRead = 0;
  // Runs before every read of this answer (a test sets the abort flag here).
  std::function<void(std::int64_t delivered)> beforeRead;
};

void SetHttpAnswer(const std::string& url, FakeHttpAnswer answer);
void ClearHttpAnswers();

// The library cannot be loaded: the six functions bound by name fail.
void SetInetLibraryMissing(bool missing);
// Answer of the connected-state query, and the last error it leaves when false.
void SetInetConnected(bool connected, std::uint32_t error = 0);
// Every session open fails (the library loads, but gives no session).
void SetInetOpenFails(bool fails);

struct InetCall {
  std::string function;  // "InternetOpenA", "InternetOpenUrlA", "InternetConnectA", ...
  InetHandle handle = 0;  // the handle the call was made on (0 for the session open)
  InetHandle result = 0;  // the handle returned, when the call returns one
  std::string agent;      // InternetOpenA
  std::uint32_t accessType = 0;
  std::string proxy;
  std::string url;        // InternetOpenUrlA; the looked-up key for HttpSendRequestA
  std::string headers;
  std::uint32_t flags = 0;
  std::string host, user, password;  // InternetConnectA
  std::uint16_t port = 0;
  std::uint32_t service = 0;
  std::string verb, object;  // HttpOpenRequestA
  std::uint32_t option = 0, value = 0;  // InternetSetOptionA; HttpQueryInfoA info in option
  std::size_t size = 0;   // InternetReadFile: bytes asked for
  std::size_t read = 0;   // InternetReadFile: bytes delivered
  bool ok = false;
};
const std::vector<InetCall>& InetCalls();
std::vector<InetCall> InetCallsOf(const std::string& function);
void ClearInetCalls();
// Handles opened and not yet closed.
int OpenInetHandles();
int InetUnloadCount();

// Brings the stand-in back to its start state (also done by ResetAll).
void ResetInet();

}  // namespace os::host
