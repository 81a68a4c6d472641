// Registry reading: every query opens and closes its key.
#include "os/registry.h"

#include <vector>

#include "os/win32/unique_handle.h"
#include "os/win32/win.h"

namespace os {
namespace {

HKEY RootHandle(RootKey root) {
  switch (root) {
    case RootKey::ClassesRoot: return HKEY_CLASSES_ROOT;
    case RootKey::CurrentUser: return HKEY_CURRENT_USER;
    case RootKey::LocalMachine: return HKEY_LOCAL_MACHINE;
    case RootKey::Users: return HKEY_USERS;
    case RootKey::CurrentConfig: return HKEY_CURRENT_CONFIG;
    case RootKey::DynData: return HKEY_DYN_DATA;
  }
  return HKEY_CURRENT_USER;
}

}  // namespace

RegStatus QueryRegValue(RootKey root, const std::string& subKey, const std::string& name,
                        bool view64, std::size_t bufferSize, std::uint32_t& type,
                        std::string& data) {
  REGSAM access = KEY_READ | (view64 ? KEY_WOW64_64KEY : 0);
  win32::UniqueRegKey key;
  if (::RegOpenKeyExA(RootHandle(root), subKey.c_str(), 0, access, key.put()) != ERROR_SUCCESS)
    return RegStatus::CannotOpen;
  if (bufferSize > 0x7FFFFFFF) bufferSize = 0x7FFFFFFF;
  std::vector<BYTE> buf(bufferSize > 0 ? bufferSize : 1);
  DWORD size = static_cast<DWORD>(bufferSize);
  DWORD t = 0;
  LONG rc = ::RegQueryValueExA(key.get(), name.c_str(), nullptr, &t, buf.data(), &size);
  if (rc == ERROR_MORE_DATA) return RegStatus::TooLarge;
  if (rc != ERROR_SUCCESS) return RegStatus::NotFound;
  if (size > bufferSize) return RegStatus::TooLarge;
  type = t;
  data.assign(reinterpret_cast<const char*>(buf.data()), size);
  return RegStatus::Ok;
}

}  // namespace os
