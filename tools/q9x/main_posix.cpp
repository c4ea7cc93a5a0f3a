// q9x on the native build: arguments arrive as UTF-8.
#include <iostream>

#include "q9x/q9x.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  const int status = q9x::Main(args, std::cout, std::cerr);
  std::cout.flush();
  return status;
}
