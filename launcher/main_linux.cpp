// Linux entry point of the single executable. The process's arguments are
// bytes that need not be UTF-8, and the runtime would refuse to run the tool
// at all for one such argument: each is made well-formed, so that the tool
// names it (U+FFFD for the bad bytes) and handles the others.
#include <string>
#include <utility>
#include <vector>

#include "driver.h"
#include "utf8_argument.h"

int main(int argc, char** argv) {
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i)
        arguments.push_back(scrivel::wellFormedUtf8(argv[i]));
    return scrivel::runLauncher(std::move(arguments));
}
