// SHA-256 against the FIPS 180-2 examples and HMAC-SHA256 against the test
// cases of RFC 4231.
#include <gtest/gtest.h>

#include <string>

#include "anonymize/internal/sha256.h"

namespace {

using anonymize_internal::Digest256;

std::string Hex(const Digest256& d) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (uint8_t b : d) {
    out += kHex[b >> 4];
    out += kHex[b & 15];
  }
  return out;
}

TEST(Sha256, StandardExamples) {
  struct Case {
    std::string message, digest;
  } cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const Case& c : cases) EXPECT_EQ(Hex(anonymize_internal::Sha256Of(c.message)), c.digest) << c.message.size();
  // Fed in pieces that straddle the 64-byte blocks, the same digest.
  anonymize_internal::Sha256 pieces;
  const std::string m = cases[2].message;
  pieces.Update(m.substr(0, 3));
  pieces.Update(m.substr(3, 50));
  pieces.Update(m.substr(53));
  EXPECT_EQ(Hex(pieces.Finish()), cases[2].digest);
}

TEST(HmacSha256, Rfc4231TestCases) {
  std::string key4;
  for (int i = 1; i <= 25; ++i) key4 += static_cast<char>(i);
  struct Case {
    std::string key, data, mac;
  } cases[] = {
      {std::string(20, '\x0b'), "Hi There", "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7"},
      {"Jefe", "what do ya want for nothing?", "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843"},
      {std::string(20, '\xaa'), std::string(50, '\xdd'),
       "773ea91e36800e46854db8ebd09181a72959098b3ef8c122d9635514ced565fe"},
      {key4, std::string(50, '\xcd'), "82558a389a443c0ea4cc819899f2083a85f0faa3e578f8077a2e3ff46729665b"},
      {std::string(131, '\xaa'), "Test Using Larger Than Block-Size Key - Hash Key First",
       "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54"},
      {std::string(131, '\xaa'),
       "This is a test using a larger than block-size key and a larger than block-size data. The key needs to be "
       "hashed before being used by the HMAC algorithm.",
       "9b09ffa71b942fcb27635fbcd5b0e944bfdc63644f0713938a7f51535c3a35e2"},
  };
  for (size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(Hex(anonymize_internal::HmacSha256(cases[i].key, cases[i].data)), cases[i].mac) << "case " << i;
}

}  // namespace
