#pragma once

// The command line shared by the table generators:
//   GENERATOR FILE           writes FILE
//   GENERATOR --check FILE   exits 1 unless FILE holds exactly what would be written

#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

namespace tools {

// Writes or checks the file named on the command line; `tables` gives its contents.
template <typename Tables> int WriteOrCheck(int argc, char **argv, Tables tables) {
  const bool check = argc == 3 && std::strcmp(argv[1], "--check") == 0;
  if (argc != 2 && !check) {
    std::cerr << "usage: " << argv[0] << " [--check] FILE\n";
    return 2;
  }
  const char *path = argv[argc - 1];
  if (check) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream shipped;
    shipped << in.rdbuf();
    if (shipped.str() != tables()) {
      std::cerr << path << " differs from the tables computed with MPFR\n";
      return 1;
    }
    return 0;
  }
  std::ofstream out(path, std::ios::binary);
  out << tables();
  return out.flush() ? 0 : 1;
}

} // namespace tools
