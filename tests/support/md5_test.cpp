// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/md5.h"

namespace {

std::wstring Digest(const std::string& text) {
  return CMD5::GetMD5(text.data(), static_cast<std::uint32_t>(text.size()));
}

std::wstring Upper(const char* hex) {
  std::wstring out;
  for (const char* p = hex; *p; ++p) out.push_back(static_cast<wchar_t>(std::toupper(static_cast<unsigned char>(*p))));
  return out;
}

TEST(Md5, Rfc1321TestSuite) {
  EXPECT_EQ(Digest(""), Upper("d41d8cd98f00b204e9800998ecf8427e"));
  EXPECT_EQ(Digest("a"), Upper("0cc175b9c0f1b6a831c399e269772661"));
  EXPECT_EQ(Digest("abc"), L"900150983CD24FB0D6963F7D28E17F72");
  EXPECT_EQ(Digest("message digest"), Upper("f96b697d7cb7938d525a2f31aaf161d0"));
  EXPECT_EQ(Digest("abcdefghijklmnopqrstuvwxyz"), Upper("c3fcd3d76192e4007dfb496cca67e13b"));
  EXPECT_EQ(Digest("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
            Upper("d174ab98d277d9f5a5611c2c9f419d9f"));
  EXPECT_EQ(Digest("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
            Upper("57edf4a22be3c955ac49da2e2107b67a"));
}

// 55 bytes fill a block with the length; 56 and 63 need a second block for
// it; 64 and 65 cross the block boundary.
TEST(Md5, BlockAndFillBoundaries) {
  const struct {
    std::size_t length;
    const char* digest;
  } cases[] = {{55, "ef1772b6dff9a122358552954ad0df65"}, {56, "3b0c8ac703f828b04c6c197006d17218"},
               {63, "b06521f39153d618550606be297466d5"}, {64, "014842d480b571495a4a0363793f7367"},
               {65, "c743a45e0d2e6a95cb859adae0248435"}, {1000, "cabe45dcc9ae5b66ba86600cca6b8ba8"}};
  for (const auto& c : cases) {
    EXPECT_EQ(Digest(std::string(c.length, 'a')), Upper(c.digest)) << c.length;
  }
}

TEST(Md5, PiecewiseUpdatesMatchOneCall) {
  std::string data;
  for (int i = 0; i < 300; ++i) data.push_back(static_cast<char>(i * 7));
  for (std::size_t split : {1u, 63u, 64u, 65u, 128u, 299u}) {
    tarn::md5::Context context;
    context.Update(data.data(), split);
    context.Update(data.data() + split, data.size() - split);
    std::uint8_t digest[16];
    context.Final(digest);
    EXPECT_EQ(tarn::md5::HexUpper(digest), tarn::md5::DigestText(data.data(), data.size())) << split;
  }
}

// 2^29 + 1 bytes: the bit count no longer fits the low word.
TEST(Md5, BitCountCarriesIntoHighWord) {
  const std::vector<char> zeros(1 << 20, 0);
  tarn::md5::Context context;
  for (int i = 0; i < 512; ++i) context.Update(zeros.data(), zeros.size());
  context.Update(zeros.data(), 1);
  std::uint8_t digest[16];
  context.Final(digest);
  EXPECT_EQ(tarn::md5::HexUpper(digest), "EA3B62C6B93CB3625A1FD76777985F5A");
}

}  // namespace
