// Linux entry point of the single executable: hands the process's argument
// vector to the platform-neutral driver.
#include "driver.h"

int main(int argc, char** argv) {
    return scrivel::runLauncher(argc, argv);
}
