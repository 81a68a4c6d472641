// The Internet functions a download needs, one per role of the system's
// Internet library (WinINet): whether the machine is online, a session, a
// URL opened in one step (anonymous) or a connection with a request sent on
// it (with a user name), the two header queries, reading the body, the
// library's own last answer text, time-outs, and closing handles.
//
// Handles are opaque; 0 is "none". Each call reports failure by its result
// (0, false) and leaves the reason in the thread's last error (os/env.h).
// In the Win32 build six of these functions (the connected state, session
// and URL opens, the query, the read and the close) are looked up by name in
// the library on first use; when the library or a name is missing those
// calls fail and do nothing else. UnloadWinINet lets the library go.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "os/clock.h"

namespace os {

using InetHandle = std::uintptr_t;  // HINTERNET; 0 = none

// Values as the library defines them.
constexpr std::uint32_t kInetOpenTypePreconfig = 0;        // the system's proxy settings
constexpr std::uint32_t kInetFlagReload = 0x80000000u;     // bypass the cache
constexpr std::uint16_t kInetDefaultHttpPort = 80;
constexpr std::uint32_t kInetServiceHttp = 3;

constexpr std::uint32_t kInetOptionConnectTimeout = 2;
constexpr std::uint32_t kInetOptionSendTimeout = 5;          // also the control send time-out
constexpr std::uint32_t kInetOptionReceiveTimeout = 6;       // also the control receive time-out
constexpr std::uint32_t kInetOptionDataSendTimeout = 7;
constexpr std::uint32_t kInetOptionDataReceiveTimeout = 8;

constexpr std::uint32_t kHttpQueryContentLength = 5;
constexpr std::uint32_t kHttpQueryLastModified = 11;
constexpr std::uint32_t kHttpQueryFlagNumber = 0x20000000u;
constexpr std::uint32_t kHttpQueryFlagSystemTime = 0x40000000u;

// A date as the library returns it (SYSTEMTIME; HTTP dates are UTC).
using InetSystemTime = LocalTime;

// ---- bound by name on first use
bool InetConnectedState();
InetHandle InetOpen(const std::string& agent, std::uint32_t accessType, const std::string& proxy,
                    std::uint32_t flags);
InetHandle InetOpenUrl(InetHandle session, const std::string& url, const std::string& headers,
                       std::uint32_t flags);
// A header as a 32-bit number (info | kHttpQueryFlagNumber).
bool InetQueryNumber(InetHandle request, std::uint32_t info, std::uint32_t& value);
// A header as a date (info | kHttpQueryFlagSystemTime).
bool InetQuerySystemTime(InetHandle request, std::uint32_t info, InetSystemTime& value);
// Up to `size` bytes into buffer; `read` is 0 at the end of the body.
bool InetReadFile(InetHandle request, void* buffer, std::size_t size, std::size_t& read);
bool InetCloseHandle(InetHandle handle);

// ---- linked with the library
InetHandle InetConnect(InetHandle session, const std::string& host, std::uint16_t port,
                       const std::string& user, const std::string& password,
                       std::uint32_t service, std::uint32_t flags);
// No version, referrer or accepted types.
InetHandle InetOpenRequest(InetHandle connection, const std::string& verb,
                           const std::string& object, std::uint32_t flags);
// No extra headers, no body.
bool InetSendRequest(InetHandle request);
// The text of the server's last answer, read into a buffer of bufferSize
// characters; empty when there is none or it does not fit.
std::string InetLastResponseInfo(std::size_t bufferSize);
bool InetSetOption(InetHandle handle, std::uint32_t option, std::uint32_t value);

// Releases the library loaded for the bound functions; a later call loads it again.
void UnloadWinINet();

}  // namespace os
