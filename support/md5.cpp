// SPDX-License-Identifier: Apache-2.0
#include "support/md5.h"

#include <cstring>

namespace tarn::md5 {
namespace {

constexpr std::uint32_t F(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return (x & y) | (~x & z); }
constexpr std::uint32_t G(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return (x & z) | (y & ~z); }
constexpr std::uint32_t H(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return x ^ y ^ z; }
constexpr std::uint32_t I(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return y ^ (x | ~z); }
constexpr std::uint32_t Rotl(std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

template <std::uint32_t (*Fn)(std::uint32_t, std::uint32_t, std::uint32_t)>
inline void Step(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d, std::uint32_t x, int s,
                 std::uint32_t ac) {
  a += Fn(b, c, d) + x + ac;
  a = Rotl(a, s) + b;
}

std::uint32_t LoadLe(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void StoreLe(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  p[2] = static_cast<std::uint8_t>(v >> 16);
  p[3] = static_cast<std::uint8_t>(v >> 24);
}

}  // namespace

Context::Context() {
  state_[0] = 0x67452301u;
  state_[1] = 0xefcdab89u;
  state_[2] = 0x98badcfeu;
  state_[3] = 0x10325476u;
  count_[0] = count_[1] = 0;
  std::memset(buffer_, 0, sizeof buffer_);
}

Context::~Context() = default;

void Context::Transform(const std::uint8_t block[64]) {
  std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3], x[16];
  for (int i = 0; i < 16; ++i) x[i] = LoadLe(block + 4 * i);

  // The four rounds as the digest's definition tables them, two steps a line.
  // clang-format off
  Step<F>(a, b, c, d, x[0], 7, 0xd76aa478); Step<F>(d, a, b, c, x[1], 12, 0xe8c7b756);
  Step<F>(c, d, a, b, x[2], 17, 0x242070db); Step<F>(b, c, d, a, x[3], 22, 0xc1bdceee);
  Step<F>(a, b, c, d, x[4], 7, 0xf57c0faf); Step<F>(d, a, b, c, x[5], 12, 0x4787c62a);
  Step<F>(c, d, a, b, x[6], 17, 0xa8304613); Step<F>(b, c, d, a, x[7], 22, 0xfd469501);
  Step<F>(a, b, c, d, x[8], 7, 0x698098d8); Step<F>(d, a, b, c, x[9], 12, 0x8b44f7af);
  Step<F>(c, d, a, b, x[10], 17, 0xffff5bb1); Step<F>(b, c, d, a, x[11], 22, 0x895cd7be);
  Step<F>(a, b, c, d, x[12], 7, 0x6b901122); Step<F>(d, a, b, c, x[13], 12, 0xfd987193);
  Step<F>(c, d, a, b, x[14], 17, 0xa679438e); Step<F>(b, c, d, a, x[15], 22, 0x49b40821);

  Step<G>(a, b, c, d, x[1], 5, 0xf61e2562); Step<G>(d, a, b, c, x[6], 9, 0xc040b340);
  Step<G>(c, d, a, b, x[11], 14, 0x265e5a51); Step<G>(b, c, d, a, x[0], 20, 0xe9b6c7aa);
  Step<G>(a, b, c, d, x[5], 5, 0xd62f105d); Step<G>(d, a, b, c, x[10], 9, 0x02441453);
  Step<G>(c, d, a, b, x[15], 14, 0xd8a1e681); Step<G>(b, c, d, a, x[4], 20, 0xe7d3fbc8);
  Step<G>(a, b, c, d, x[9], 5, 0x21e1cde6); Step<G>(d, a, b, c, x[14], 9, 0xc33707d6);
  Step<G>(c, d, a, b, x[3], 14, 0xf4d50d87); Step<G>(b, c, d, a, x[8], 20, 0x455a14ed);
  Step<G>(a, b, c, d, x[13], 5, 0xa9e3e905); Step<G>(d, a, b, c, x[2], 9, 0xfcefa3f8);
  Step<G>(c, d, a, b, x[7], 14, 0x676f02d9); Step<G>(b, c, d, a, x[12], 20, 0x8d2a4c8a);

  Step<H>(a, b, c, d, x[5], 4, 0xfffa3942); Step<H>(d, a, b, c, x[8], 11, 0x8771f681);
  Step<H>(c, d, a, b, x[11], 16, 0x6d9d6122); Step<H>(b, c, d, a, x[14], 23, 0xfde5380c);
  Step<H>(a, b, c, d, x[1], 4, 0xa4beea44); Step<H>(d, a, b, c, x[4], 11, 0x4bdecfa9);
  Step<H>(c, d, a, b, x[7], 16, 0xf6bb4b60); Step<H>(b, c, d, a, x[10], 23, 0xbebfbc70);
  Step<H>(a, b, c, d, x[13], 4, 0x289b7ec6); Step<H>(d, a, b, c, x[0], 11, 0xeaa127fa);
  Step<H>(c, d, a, b, x[3], 16, 0xd4ef3085); Step<H>(b, c, d, a, x[6], 23, 0x04881d05);
  Step<H>(a, b, c, d, x[9], 4, 0xd9d4d039); Step<H>(d, a, b, c, x[12], 11, 0xe6db99e5);
  Step<H>(c, d, a, b, x[15], 16, 0x1fa27cf8); Step<H>(b, c, d, a, x[2], 23, 0xc4ac5665);

  Step<I>(a, b, c, d, x[0], 6, 0xf4292244); Step<I>(d, a, b, c, x[7], 10, 0x432aff97);
  Step<I>(c, d, a, b, x[14], 15, 0xab9423a7); Step<I>(b, c, d, a, x[5], 21, 0xfc93a039);
  Step<I>(a, b, c, d, x[12], 6, 0x655b59c3); Step<I>(d, a, b, c, x[3], 10, 0x8f0ccc92);
  Step<I>(c, d, a, b, x[10], 15, 0xffeff47d); Step<I>(b, c, d, a, x[1], 21, 0x85845dd1);
  Step<I>(a, b, c, d, x[8], 6, 0x6fa87e4f); Step<I>(d, a, b, c, x[15], 10, 0xfe2ce6e0);
  Step<I>(c, d, a, b, x[6], 15, 0xa3014314); Step<I>(b, c, d, a, x[13], 21, 0x4e0811a1);
  Step<I>(a, b, c, d, x[4], 6, 0xf7537e82); Step<I>(d, a, b, c, x[11], 10, 0xbd3af235);
  Step<I>(c, d, a, b, x[2], 15, 0x2ad7d2bb); Step<I>(b, c, d, a, x[9], 21, 0xeb86d391);
  // clang-format on

  state_[0] += a;
  state_[1] += b;
  state_[2] += c;
  state_[3] += d;
}

void Context::Update(const void* data, std::size_t length) {
  const auto* input = static_cast<const std::uint8_t*>(data);
  std::size_t index = (count_[0] >> 3) & 0x3F;
  // 64-bit bit count kept in two words: the high word carries past 2^29 bytes.
  const std::uint64_t bits = (static_cast<std::uint64_t>(count_[1]) << 32 | count_[0]) +
                             (static_cast<std::uint64_t>(length) << 3);
  count_[0] = static_cast<std::uint32_t>(bits);
  count_[1] = static_cast<std::uint32_t>(bits >> 32);

  const std::size_t partLen = 64 - index;
  std::size_t i = 0;
  if (length >= partLen) {
    std::memcpy(buffer_ + index, input, partLen);
    Transform(buffer_);
    for (i = partLen; i + 63 < length; i += 64) Transform(input + i);
    index = 0;
  }
  if (length > i) std::memcpy(buffer_ + index, input + i, length - i);
}

void Context::Final(std::uint8_t digest[16]) {
  std::uint8_t bits[8];
  StoreLe(bits, count_[0]);
  StoreLe(bits + 4, count_[1]);
  const std::size_t index = (count_[0] >> 3) & 0x3F;
  const std::size_t padLen = index < 56 ? 56 - index : 120 - index;
  static const std::uint8_t kPadding[64] = {0x80};
  Update(kPadding, padLen);
  Update(bits, 8);
  for (int i = 0; i < 4; ++i) StoreLe(digest + 4 * i, state_[i]);
  std::memset(state_, 0, sizeof state_);
  std::memset(count_, 0, sizeof count_);
  std::memset(buffer_, 0, sizeof buffer_);
}

std::string HexUpper(const std::uint8_t digest[16]) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string text(32, '0');
  for (int i = 0; i < 16; ++i) {
    text[2 * i] = kHex[digest[i] >> 4];
    text[2 * i + 1] = kHex[digest[i] & 0x0F];
  }
  return text;
}

std::string DigestText(const void* data, std::size_t length) {
  Context context;
  context.Update(data, length);
  std::uint8_t digest[16];
  context.Final(digest);
  return HexUpper(digest);
}

}  // namespace tarn::md5

std::wstring CMD5::GetMD5(const void* data, std::uint32_t length) {
  const std::string text = tarn::md5::DigestText(data, length);
  return std::wstring(text.begin(), text.end());
}
