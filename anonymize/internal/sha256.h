// SHA-256 and HMAC-SHA256, small and dependency-free: the keyed UID mapping
// and the date shift of the confidentiality profile derive their values from
// them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace anonymize_internal {

using Digest256 = std::array<uint8_t, 32>;

class Sha256 {
 public:
  Sha256();
  void Update(const uint8_t* data, size_t count);
  void Update(const std::string& bytes) { Update(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()); }
  Digest256 Finish();

 private:
  void Block(const uint8_t* block);
  uint32_t state_[8];
  uint8_t buffer_[64];
  size_t buffered_ = 0;
  uint64_t totalBytes_ = 0;
};

Digest256 Sha256Of(const std::string& bytes);
Digest256 HmacSha256(const std::string& key, const std::string& message);

}  // namespace anonymize_internal
