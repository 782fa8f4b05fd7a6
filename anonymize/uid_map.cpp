// Keyed replacement UIDs, date shifts and patient pseudonyms.
#include <random>

#include "anonymize/confidentiality.h"
#include "anonymize/internal/sha256.h"

using anonymize_internal::Digest256;
using anonymize_internal::HmacSha256;

namespace {

// The decimal digits of a 128-bit number.
std::string Decimal(unsigned __int128 v) {
  if (v == 0) return "0";
  std::string digits;
  while (v != 0) {
    digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(v % 10)));
    v /= 10;
  }
  return digits;
}

uint32_t First32(const Digest256& d) {
  return (uint32_t{d[0]} << 24) | (uint32_t{d[1]} << 16) | (uint32_t{d[2]} << 8) | uint32_t{d[3]};
}

}  // namespace

UidMapper::UidMapper(std::string key) : key_(std::move(key)) {}

std::string UidMapper::RandomKey() {
  std::random_device device;
  std::string key(32, '\0');
  for (size_t i = 0; i < key.size(); i += 4) {
    const uint32_t word = device();
    for (size_t j = 0; j < 4; ++j) key[i + j] = static_cast<char>(word >> (8 * j));
  }
  return key;
}

std::string UidMapper::Map(const std::string& uid) {
  {
    std::lock_guard<std::mutex> hold(lock_);
    auto found = map_.find(uid);
    if (found != map_.end()) return found->second;
  }
  // The domain tag keeps UIDs apart from the other values derived from the key.
  const Digest256 d = HmacSha256(key_, "uid\n" + uid);
  unsigned __int128 v = 0;
  for (int i = 0; i < 16; ++i) v = (v << 8) | d[i];
  std::string mapped = "2.25." + Decimal(v);
  std::lock_guard<std::mutex> hold(lock_);
  map_.emplace(uid, mapped);
  return mapped;
}

int32_t UidMapper::DateShiftDays(const std::string& patientId) const {
  return static_cast<int32_t>(First32(HmacSha256(key_, "date-shift\n" + patientId)) % 3650) + 1;
}

std::string UidMapper::PatientPseudonym(const std::string& patientId) const {
  const Digest256 d = HmacSha256(key_, "patient-id\n" + patientId);
  static const char kHex[] = "0123456789ABCDEF";
  std::string out = "ANON";
  for (int i = 0; i < 6; ++i) {
    out += kHex[d[i] >> 4];
    out += kHex[d[i] & 15];
  }
  return out;
}

std::map<std::string, std::string> UidMapper::Mappings() const {
  std::lock_guard<std::mutex> hold(lock_);
  return map_;
}
