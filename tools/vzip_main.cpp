// vzip: a small command-line tool over the archive layer. Commands arrive with the archive code.
#include <cstdio>

int main() {
  std::fputs("usage: vzip l ARCHIVE\n", stderr);
  return 2;
}
