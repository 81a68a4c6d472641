// Host stand-in for the Internet functions: a scripted server in memory.
#include <algorithm>
#include <cstring>
#include <map>

#include "os/env.h"
#include "os/host/host_inet.h"

namespace os {
namespace host {
namespace {

enum class Kind { Session, Connection, Request };

struct HandleRec {
  Kind kind = Kind::Session;
  std::string host;        // connections
  std::uint16_t port = 0;
  bool sent = false;       // requests: an answer is attached
  FakeHttpAnswer answer;   // requests
  std::int64_t delivered = 0;
};

struct InetState {
  std::map<std::string, FakeHttpAnswer> answers;
  std::map<InetHandle, HandleRec> handles;
  InetHandle next = 0x1000;
  std::vector<InetCall> calls;
  bool libraryMissing = false;
  bool connected = true;
  std::uint32_t connectedError = 0;
  bool openFails = false;
  std::string lastResponse;
  int unloads = 0;
};

InetState& St() {
  static InetState s;
  return s;
}

constexpr std::uint32_t kErrInvalidHandle = 12018;     // ERROR_INTERNET_INCORRECT_HANDLE_TYPE
constexpr std::uint32_t kErrCannotConnect = 12029;     // ERROR_INTERNET_CANNOT_CONNECT
constexpr std::uint32_t kErrNameNotResolved = 12007;   // ERROR_INTERNET_NAME_NOT_RESOLVED
constexpr std::uint32_t kErrHeaderNotFound = 12150;    // ERROR_HTTP_HEADER_NOT_FOUND
constexpr std::uint32_t kErrProcNotFound = 127;        // ERROR_PROC_NOT_FOUND

InetCall& Record(const std::string& function, InetHandle on) {
  InetCall c;
  c.function = function;
  c.handle = on;
  St().calls.push_back(c);
  return St().calls.back();
}

// The bound functions fail as a call through an empty slot does.
bool Bound() {
  if (!St().libraryMissing) return true;
  SetLastError(kErrProcNotFound);
  return false;
}

HandleRec* Find(InetHandle h, Kind kind) {
  auto it = St().handles.find(h);
  if (it == St().handles.end() || it->second.kind != kind) return nullptr;
  return &it->second;
}

InetHandle Add(HandleRec rec) {
  InetHandle h = St().next++;
  St().handles[h] = std::move(rec);
  return h;
}

// An answer's Content-Length header, or -1 when it sends none.
std::int64_t AnnouncedLength(const FakeHttpAnswer& a) {
  if (!a.contentLength) return static_cast<std::int64_t>(a.body.size());
  return *a.contentLength;
}

InetHandle OpenAnswer(const std::string& key, InetCall& call) {
  call.url = key;
  auto it = St().answers.find(key);
  if (it == St().answers.end()) {
    SetLastError(kErrNameNotResolved);
    return 0;
  }
  HandleRec rec;
  rec.kind = Kind::Request;
  rec.sent = true;
  rec.answer = it->second;
  return Add(std::move(rec));
}

}  // namespace

void SetHttpAnswer(const std::string& url, FakeHttpAnswer answer) {
  St().answers[url] = std::move(answer);
}
void ClearHttpAnswers() { St().answers.clear(); }
void SetInetLibraryMissing(bool missing) { St().libraryMissing = missing; }
void SetInetConnected(bool connected, std::uint32_t error) {
  St().connected = connected;
  St().connectedError = error;
}
void SetInetOpenFails(bool fails) { St().openFails = fails; }
const std::vector<InetCall>& InetCalls() { return St().calls; }
std::vector<InetCall> InetCallsOf(const std::string& function) {
  std::vector<InetCall> out;
  for (const InetCall& c : St().calls)
    if (c.function == function) out.push_back(c);
  return out;
}
void ClearInetCalls() { St().calls.clear(); }
int OpenInetHandles() { return static_cast<int>(St().handles.size()); }
int InetUnloadCount() { return St().unloads; }
void ResetInet() { St() = InetState(); }

}  // namespace host

using host::St;

bool InetConnectedState() {
  host::InetCall& c = host::Record("InternetGetConnectedState", 0);
  if (!host::Bound()) return false;
  c.ok = St().connected;
  if (!c.ok) SetLastError(St().connectedError);
  return c.ok;
}

InetHandle InetOpen(const std::string& agent, std::uint32_t accessType, const std::string& proxy,
                    std::uint32_t flags) {
  host::InetCall& c = host::Record("InternetOpenA", 0);
  c.agent = agent;
  c.accessType = accessType;
  c.proxy = proxy;
  c.flags = flags;
  if (!host::Bound()) return 0;
  if (St().openFails) {
    SetLastError(host::kErrCannotConnect);
    return 0;
  }
  c.result = host::Add(host::HandleRec{});
  c.ok = true;
  return c.result;
}

InetHandle InetOpenUrl(InetHandle session, const std::string& url, const std::string& headers,
                       std::uint32_t flags) {
  host::InetCall& c = host::Record("InternetOpenUrlA", session);
  c.url = url;
  c.headers = headers;
  c.flags = flags;
  if (!host::Bound()) return 0;
  if (!host::Find(session, host::Kind::Session)) {
    SetLastError(host::kErrInvalidHandle);
    return 0;
  }
  c.result = host::OpenAnswer(url, c);
  c.ok = c.result != 0;
  return c.result;
}

InetHandle InetConnect(InetHandle session, const std::string& hostName, std::uint16_t port,
                       const std::string& user, const std::string& password,
                       std::uint32_t service, std::uint32_t flags) {
  host::InetCall& c = host::Record("InternetConnectA", session);
  c.host = hostName;
  c.port = port;
  c.user = user;
  c.password = password;
  c.service = service;
  c.flags = flags;
  // Like the library, the connection is only a name until a request is sent;
  // an empty host name is refused at once.
  if (!host::Find(session, host::Kind::Session) || hostName.empty()) {
    SetLastError(hostName.empty() ? host::kErrNameNotResolved : host::kErrInvalidHandle);
    return 0;
  }
  host::HandleRec rec;
  rec.kind = host::Kind::Connection;
  rec.host = hostName;
  rec.port = port;
  c.result = host::Add(std::move(rec));
  c.ok = true;
  return c.result;
}

InetHandle InetOpenRequest(InetHandle connection, const std::string& verb,
                           const std::string& object, std::uint32_t flags) {
  host::InetCall& c = host::Record("HttpOpenRequestA", connection);
  c.verb = verb;
  c.object = object;
  c.flags = flags;
  host::HandleRec* conn = host::Find(connection, host::Kind::Connection);
  if (!conn) {
    SetLastError(host::kErrInvalidHandle);
    return 0;
  }
  host::HandleRec rec;
  rec.kind = host::Kind::Request;
  rec.host = conn->host;
  rec.port = conn->port;
  rec.answer.body = object;  // the object travels here until the request is sent
  c.result = host::Add(std::move(rec));
  c.ok = true;
  return c.result;
}

bool InetSendRequest(InetHandle request) {
  host::InetCall& c = host::Record("HttpSendRequestA", request);
  host::HandleRec* req = host::Find(request, host::Kind::Request);
  if (!req || req->sent) {
    SetLastError(host::kErrInvalidHandle);
    return false;
  }
  const std::string key = "http://" + req->host + req->answer.body;
  c.url = key;
  auto it = St().answers.find(key);
  if (it == St().answers.end()) {
    SetLastError(host::kErrCannotConnect);
    return false;
  }
  req->answer = it->second;
  req->sent = true;
  c.ok = true;
  return true;
}

bool InetQueryNumber(InetHandle request, std::uint32_t info, std::uint32_t& value) {
  host::InetCall& c = host::Record("HttpQueryInfoA", request);
  c.option = info;
  if (!host::Bound()) return false;
  host::HandleRec* req = host::Find(request, host::Kind::Request);
  if (!req || !req->sent) {
    SetLastError(host::kErrInvalidHandle);
    return false;
  }
  if (info != (kHttpQueryContentLength | kHttpQueryFlagNumber) ||
      host::AnnouncedLength(req->answer) < 0) {
    SetLastError(host::kErrHeaderNotFound);
    return false;
  }
  value = static_cast<std::uint32_t>(host::AnnouncedLength(req->answer));
  c.ok = true;
  return true;
}

bool InetQuerySystemTime(InetHandle request, std::uint32_t info, InetSystemTime& value) {
  host::InetCall& c = host::Record("HttpQueryInfoA", request);
  c.option = info;
  if (!host::Bound()) return false;
  host::HandleRec* req = host::Find(request, host::Kind::Request);
  if (!req || !req->sent) {
    SetLastError(host::kErrInvalidHandle);
    return false;
  }
  if (info != (kHttpQueryLastModified | kHttpQueryFlagSystemTime) || !req->answer.lastModified) {
    SetLastError(host::kErrHeaderNotFound);
    return false;
  }
  value = *req->answer.lastModified;
  c.ok = true;
  return true;
}

bool InetReadFile(InetHandle request, void* buffer, std::size_t size, std::size_t& read) {
  read = 0;
  host::InetCall& first = host::Record("InternetReadFile", request);
  first.size = size;
  if (!host::Bound()) return false;
  host::HandleRec* req = host::Find(request, host::Kind::Request);
  if (!req || !req->sent) {
    SetLastError(host::kErrInvalidHandle);
    return false;
  }
  // The hook may add calls of its own; the entry is found again afterwards.
  const std::size_t index = St().calls.size() - 1;
  if (req->answer.beforeRead) req->answer.beforeRead(req->delivered);
  req = host::Find(request, host::Kind::Request);
  host::InetCall& c = St().calls[index];
  if (!req) {
    SetLastError(host::kErrInvalidHandle);
    return false;
  }
  const host::FakeHttpAnswer& a = req->answer;
  const std::int64_t left = static_cast<std::int64_t>(a.body.size()) - req->delivered;
  std::size_t n = static_cast<std::size_t>(std::max<std::int64_t>(0, left));
  n = std::min(n, size);
  if (a.maxBytesPerRead > 0) n = std::min(n, a.maxBytesPerRead);
  // The read that would deliver the failing byte (or meet it at the end) fails.
  const std::int64_t reach = req->delivered + static_cast<std::int64_t>(std::max<std::size_t>(n, 1));
  if (a.failReadAt >= req->delivered && a.failReadAt < reach) {
    SetLastError(a.failError);
    St().lastResponse = a.failResponse;
    return false;
  }
  if (n > 0)
    std::memcpy(buffer, a.body.data() + req->delivered, n);
  req->delivered += static_cast<std::int64_t>(n);
  read = n;
  c.read = n;
  c.ok = true;
  return true;
}

std::string InetLastResponseInfo(std::size_t bufferSize) {
  host::Record("InternetGetLastResponseInfoA", 0).size = bufferSize;
  std::string text = St().lastResponse;
  if (bufferSize == 0) return std::string();
  if (text.size() > bufferSize - 1) text.resize(bufferSize - 1);
  return text;
}

bool InetSetOption(InetHandle handle, std::uint32_t option, std::uint32_t value) {
  host::InetCall& c = host::Record("InternetSetOptionA", handle);
  c.option = option;
  c.value = value;
  if (St().handles.find(handle) == St().handles.end()) {
    SetLastError(host::kErrInvalidHandle);
    return false;
  }
  c.ok = true;
  return true;
}

bool InetCloseHandle(InetHandle handle) {
  host::InetCall& c = host::Record("InternetCloseHandle", handle);
  if (!host::Bound()) return false;
  if (St().handles.erase(handle) == 0) {
    SetLastError(host::kErrInvalidHandle);
    return false;
  }
  c.ok = true;
  return true;
}

void UnloadWinINet() { ++St().unloads; }

}  // namespace os
