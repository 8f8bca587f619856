#include "Kelvaro.h"
#include "Memory.h"

#include <iostream>
#include <string>
#include <vector>

using namespace kelvaro;

int main(int argc, char** argv) {
    KeepFreedMemoryForReuse();
    const std::vector<std::string> args(argv + 1, argv + argc);
    return RunKelvaro(args, std::cout, std::cerr);
}
