// kvpack token / token-record: scrambled tokens as the settings lists and
// the update and inform files carry them.
#include "fileio.h"
#include "kvpack.h"
#include "package/checksum.h"
#include "sys/utils.h"

namespace kv::pack {

std::string ScrambledToken(const std::string& plain, std::optional<std::uint32_t> seed) {
  if (plain.empty()) throw Error("the token is empty");
  return kv::ScrambleToken(plain, seed ? *seed : RandomSeed());
}

std::string MakeTokenRecord(const std::string& plainToken, const std::string& payload,
                            bool scrambleWhole, std::optional<std::uint32_t> seed) {
  // Field 1 is empty, field 2 the token, fields 3 and 4 are not read; the
  // payload is everything after the fourth "|", so it may hold any byte.
  std::string record = "|" + ScrambledToken(plainToken, seed) + "|||" + payload;
  return scrambleWhole ? kv::ScrambleText(record, true, false) : record;
}

}  // namespace kv::pack
