// The download benchmark's reference: the download program's own SHA-256
// (the system's, under Wine) over the given files, read in 1 MiB blocks.
//   sha256_bench.exe FILE...   prints each file's digest
#include <cstdio>
#include <fstream>
#include <vector>

#include "base/sha256.h"

int main(int argc, char** argv) {
  std::vector<char> buffer(1 << 20);
  for (int i = 1; i < argc; ++i) {
    std::ifstream in(argv[i], std::ios::binary);
    if (!in) return 1;
    Sha256 hash;
    while (in) {
      in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
      hash.Update(buffer.data(), static_cast<size_t>(in.gcount()));
    }
    Sha256Digest digest;
    if (!hash.Final(&digest)) return 1;
    std::printf("%s  %s\n", Sha256Hex(digest).c_str(), argv[i]);
  }
  return 0;
}
