#include "scripts/md5.h"

#include <openssl/evp.h>

#include <cstdio>

Md5::Md5() : context_(EVP_MD_CTX_new()) {
  failed_ = context_ == nullptr || EVP_DigestInit_ex(context_, EVP_md5(), nullptr) != 1;
}

Md5::~Md5() { EVP_MD_CTX_free(context_); }

void Md5::Update(const void* data, std::size_t size) {
  if (failed_ || size == 0) return;
  failed_ = EVP_DigestUpdate(context_, data, size) != 1;
}

std::string Md5::FinalHex() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (failed_ || EVP_DigestFinal_ex(context_, digest, &length) != 1) {
    failed_ = true;
    return std::string();
  }
  failed_ = true;  // a finalised context takes no more data
  std::string hex;
  char pair[3];
  for (unsigned int i = 0; i < length; ++i) {
    std::snprintf(pair, sizeof pair, "%02x", digest[i]);
    hex += pair;
  }
  return hex;
}

std::string Md5Hex(const void* data, std::size_t size) {
  Md5 md5;
  md5.Update(data, size);
  return md5.FinalHex();
}
