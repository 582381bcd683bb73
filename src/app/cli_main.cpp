#include <iostream>

#include "app/cli.h"

int main(int argc, char** argv) { return vorn::cli::Main(argc, argv, std::cout, std::cerr); }
