// Registry reading.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace os {

enum class RootKey { ClassesRoot, CurrentUser, LocalMachine, Users, CurrentConfig, DynData };

enum RegType : std::uint32_t {
  kRegNone = 0, kRegSz = 1, kRegExpandSz = 2, kRegBinary = 3, kRegDword = 4, kRegMultiSz = 7,
};

enum class RegStatus { Ok, CannotOpen, NotFound, TooLarge };

// Queries one value into a buffer of bufferSize bytes (the data as stored,
// terminating zeros included).
RegStatus QueryRegValue(RootKey root, const std::string& subKey, const std::string& name,
                        bool view64, std::size_t bufferSize, std::uint32_t& type,
                        std::string& data);

}  // namespace os
