#include "cli/cli.h"

int main(int argc, char** argv) {
    return vrq::cli::RunCli(argc, argv);
}
