// kvpack: the package builder and inspector.
#include <iostream>
#include <string>
#include <vector>

#include "fileio.h"
#include "kvpack.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return kv::pack::RunCli(args, std::cout, std::cerr, kv::pack::StderrIsTerminal());
}
