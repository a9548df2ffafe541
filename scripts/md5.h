#pragma once
// MD5 (RFC 1321) through libcrypto, rendered as 32 lower-case hexadecimal
// characters. The digest of the shipped script and package files.
#include <cstddef>
#include <string>

struct evp_md_ctx_st;

class Md5 {
 public:
  Md5();
  ~Md5();
  Md5(const Md5&) = delete;
  Md5& operator=(const Md5&) = delete;

  void Update(const void* data, std::size_t size);
  // The digest of everything fed so far; empty when libcrypto failed, which
  // then matches no stored digest.
  std::string FinalHex();

 private:
  evp_md_ctx_st* context_;
  bool failed_ = false;
};

std::string Md5Hex(const void* data, std::size_t size);
