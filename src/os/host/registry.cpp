// Host registry: an in-memory table that tests fill.
#include "os/registry.h"

#include "os/host/host_state.h"

namespace os {

namespace host {
void SetRegValue(RootKey root, const std::string& subKey, const std::string& name,
                 std::uint32_t type, const std::string& data, bool view64) {
  state().registry[RegKeyName{root, Upper(subKey), view64}][Upper(name)] = RegData{type, data};
}
void ClearRegistry() { state().registry.clear(); }
}  // namespace host

RegStatus QueryRegValue(RootKey root, const std::string& subKey, const std::string& name,
                        bool view64, std::size_t bufferSize, std::uint32_t& type,
                        std::string& data) {
  auto& reg = host::state().registry;
  auto key = reg.find(host::RegKeyName{root, host::Upper(subKey), view64});
  if (key == reg.end()) return RegStatus::CannotOpen;
  auto val = key->second.find(host::Upper(name));
  if (val == key->second.end()) return RegStatus::NotFound;
  if (val->second.data.size() > bufferSize) return RegStatus::TooLarge;
  type = val->second.type;
  data = val->second.data;
  return RegStatus::Ok;
}

}  // namespace os
