#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tessaly/CSha256.h"

using tessaly::cli::CSha256;

namespace {

std::string Digest(const std::string& text) {
  return CSha256::HexDigest(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

}  // namespace

TEST(Sha256, MatchesThePublishedTestVectors) {
  EXPECT_EQ(Digest(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Digest("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(Digest("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(Digest(std::string(1000000, 'a')),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Sha256, PaddingAtEveryLengthAroundTheBlockEdge) {
  // 55 bytes still fit the length in the same block; 56 to 63 need a second one.
  EXPECT_EQ(Digest(std::string(55, 'a')),
            "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318");
  EXPECT_EQ(Digest(std::string(56, 'a')),
            "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a");
  EXPECT_EQ(Digest(std::string(64, 'a')),
            "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb");
}

TEST(Sha256, PiecewiseUpdatesEqualOneUpdate) {
  std::vector<uint8_t> bytes(1000);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7 + 3);
  const std::string whole = CSha256::HexDigest(bytes.data(), bytes.size());
  for (size_t piece : {1u, 3u, 63u, 64u, 65u, 500u}) {
    CSha256 hash;
    for (size_t at = 0; at < bytes.size(); at += piece) {
      hash.Update(bytes.data() + at, std::min(piece, bytes.size() - at));
    }
    std::string text;
    for (uint8_t byte : hash.Finish()) {
      static const char kDigits[] = "0123456789abcdef";
      text.push_back(kDigits[byte >> 4]);
      text.push_back(kDigits[byte & 15]);
    }
    EXPECT_EQ(text, whole) << "pieces of " << piece;
  }
}
