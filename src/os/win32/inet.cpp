// The Internet functions over WinINet. Six of them are looked up by name in
// the library, loaded from the system folder on first use (a setup runs from
// a Downloads folder, where a planted "WinINet.dll" must not be picked up);
// a library or name that cannot be found makes that call fail. The other five
// are linked with the library.
#include "os/win32/systime.h"
#include "os/win32/win.h"

#include <wininet.h>

#include <string>

#include "os/env.h"
#include "os/inet.h"

namespace os {
namespace {

HINTERNET H(InetHandle h) { return reinterpret_cast<HINTERNET>(h); }
InetHandle I(HINTERNET h) { return reinterpret_cast<InetHandle>(h); }

using GetConnectedStateFn = BOOL(WINAPI*)(LPDWORD, DWORD);
using CloseHandleFn = BOOL(WINAPI*)(HINTERNET);
using OpenFn = HINTERNET(WINAPI*)(LPCSTR, DWORD, LPCSTR, LPCSTR, DWORD);
using OpenUrlFn = HINTERNET(WINAPI*)(HINTERNET, LPCSTR, LPCSTR, DWORD, DWORD, DWORD_PTR);
using QueryInfoFn = BOOL(WINAPI*)(HINTERNET, DWORD, LPVOID, LPDWORD, LPDWORD);
using ReadFileFn = BOOL(WINAPI*)(HINTERNET, LPVOID, DWORD, LPDWORD);

// The library and the six slots, process-wide. Each slot is looked up the
// first time it is called; the library is loaded by the first lookup.
struct Binding {
  HMODULE module = nullptr;
  bool loadTried = false;
  FARPROC getConnectedState = nullptr, closeHandle = nullptr, open = nullptr,
          openUrl = nullptr, queryInfo = nullptr, readFile = nullptr;
  bool triedConnected = false, triedClose = false, triedOpen = false, triedOpenUrl = false,
       triedQuery = false, triedRead = false;
};

Binding& B() {
  static Binding b;
  return b;
}

HMODULE Library() {
  Binding& b = B();
  if (!b.module && !b.loadTried) {
    b.loadTried = true;
    std::string dir = GetSystemDir();
    if (!dir.empty()) {
      if (dir.back() != '\\') dir += '\\';
      b.module = ::LoadLibraryA((dir + "WinINet.dll").c_str());
    }
  }
  return b.module;
}

template <typename Fn>
Fn Slot(FARPROC& slot, bool& tried, const char* name) {
  if (!slot && !tried) {
    tried = true;
    if (HMODULE m = Library()) slot = ::GetProcAddress(m, name);
  }
  if (!slot) ::SetLastError(ERROR_PROC_NOT_FOUND);
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(slot));
}

}  // namespace

bool InetConnectedState() {
  Binding& b = B();
  auto fn = Slot<GetConnectedStateFn>(b.getConnectedState, b.triedConnected,
                                      "InternetGetConnectedState");
  if (!fn) return false;
  DWORD flags = 0;
  return fn(&flags, 0) != FALSE;
}

InetHandle InetOpen(const std::string& agent, std::uint32_t accessType, const std::string& proxy,
                    std::uint32_t flags) {
  Binding& b = B();
  auto fn = Slot<OpenFn>(b.open, b.triedOpen, "InternetOpenA");
  if (!fn) return 0;
  return I(fn(agent.c_str(), accessType, proxy.c_str(), nullptr, flags));
}

InetHandle InetOpenUrl(InetHandle session, const std::string& url, const std::string& headers,
                       std::uint32_t flags) {
  Binding& b = B();
  auto fn = Slot<OpenUrlFn>(b.openUrl, b.triedOpenUrl, "InternetOpenUrlA");
  if (!fn) return 0;
  return I(fn(H(session), url.c_str(), headers.empty() ? nullptr : headers.c_str(),
              static_cast<DWORD>(headers.size()), flags, 0));
}

bool InetQueryNumber(InetHandle request, std::uint32_t info, std::uint32_t& value) {
  Binding& b = B();
  auto fn = Slot<QueryInfoFn>(b.queryInfo, b.triedQuery, "HttpQueryInfoA");
  if (!fn) return false;
  DWORD v = 0;
  DWORD size = sizeof v;
  DWORD index = 0;
  if (!fn(H(request), info, &v, &size, &index)) return false;
  value = v;
  return true;
}

bool InetQuerySystemTime(InetHandle request, std::uint32_t info, InetSystemTime& value) {
  Binding& b = B();
  auto fn = Slot<QueryInfoFn>(b.queryInfo, b.triedQuery, "HttpQueryInfoA");
  if (!fn) return false;
  SYSTEMTIME st{};
  DWORD size = sizeof st;
  DWORD index = 0;
  if (!fn(H(request), info, &st, &size, &index)) return false;
  value = FromSystemTime(st);
  return true;
}

bool InetReadFile(InetHandle request, void* buffer, std::size_t size, std::size_t& read) {
  read = 0;
  Binding& b = B();
  auto fn = Slot<ReadFileFn>(b.readFile, b.triedRead, "InternetReadFile");
  if (!fn) return false;
  // One read never asks for more than a DWORD holds.
  const DWORD ask = size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<DWORD>(size);
  DWORD got = 0;
  if (!fn(H(request), buffer, ask, &got)) return false;
  read = got;
  return true;
}

bool InetCloseHandle(InetHandle handle) {
  Binding& b = B();
  auto fn = Slot<CloseHandleFn>(b.closeHandle, b.triedClose, "InternetCloseHandle");
  if (!fn) return false;
  return fn(H(handle)) != FALSE;
}

InetHandle InetConnect(InetHandle session, const std::string& host, std::uint16_t port,
                       const std::string& user, const std::string& password,
                       std::uint32_t service, std::uint32_t flags) {
  return I(::InternetConnectA(H(session), host.c_str(), port, user.c_str(), password.c_str(),
                              service, flags, 0));
}

InetHandle InetOpenRequest(InetHandle connection, const std::string& verb,
                           const std::string& object, std::uint32_t flags) {
  return I(::HttpOpenRequestA(H(connection), verb.c_str(), object.c_str(), nullptr, nullptr,
                              nullptr, flags, 0));
}

bool InetSendRequest(InetHandle request) {
  return ::HttpSendRequestA(H(request), nullptr, 0, nullptr, 0) != FALSE;
}

std::string InetLastResponseInfo(std::size_t bufferSize) {
  if (bufferSize == 0) return std::string();
  std::string buf(bufferSize, '\0');
  DWORD error = 0;
  DWORD length = static_cast<DWORD>(bufferSize);
  // A text longer than the buffer fails with ERROR_INSUFFICIENT_BUFFER; the
  // caller then goes without it.
  if (!::InternetGetLastResponseInfoA(&error, &buf[0], &length)) return std::string();
  if (length >= bufferSize) length = static_cast<DWORD>(bufferSize - 1);
  buf.resize(length);
  return buf.c_str();
}

bool InetSetOption(InetHandle handle, std::uint32_t option, std::uint32_t value) {
  DWORD v = value;
  return ::InternetSetOptionA(H(handle), option, &v, sizeof v) != FALSE;
}

void UnloadWinINet() {
  Binding& b = B();
  if (b.module) ::FreeLibrary(b.module);
  b = Binding();
}

}  // namespace os
