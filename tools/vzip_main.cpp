// vzip: a small command-line tool over the archive layer (see tools/vzip.h).
#include <iostream>
#include <string>
#include <vector>

#include "tools/vzip.h"

int main(int argc, char** argv) {
  return vzip::Main(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
