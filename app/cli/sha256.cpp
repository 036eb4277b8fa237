#include "app/cli/sha256.h"

#include <openssl/evp.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/error.h"

namespace master::cli {

std::string sha256File(const std::filesystem::path& file) {
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::fopen(file.c_str(), "rb"), std::fclose);
  if (!in) throw MasterError("cannot read '" + file.string() + "' for its SHA-256: " + std::strerror(errno));
  const std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) {
    throw MasterError("cannot set up a SHA-256 digest");
  }
  std::vector<unsigned char> buffer(1 << 16);
  for (;;) {
    const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), in.get());
    if (n > 0 && EVP_DigestUpdate(context.get(), buffer.data(), n) != 1) throw MasterError("SHA-256 digest failed");
    if (n < buffer.size()) break;
  }
  if (std::ferror(in.get())) throw MasterError("cannot read '" + file.string() + "' for its SHA-256");
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned length = 0;
  if (EVP_DigestFinal_ex(context.get(), digest, &length) != 1) throw MasterError("SHA-256 digest failed");
  static const char hex[] = "0123456789abcdef";
  std::string out;
  for (unsigned i = 0; i < length; ++i) {
    out += hex[digest[i] >> 4];
    out += hex[digest[i] & 15];
  }
  return out;
}

}  // namespace master::cli
