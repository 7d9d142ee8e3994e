// mglink-prep: prepares an mglink run directory from a pedigree table.
#include <iostream>
#include <string>
#include <vector>

#include "prep/prep.hpp"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return mglink::prep::run_prep(args, std::cout, std::cerr);
}
