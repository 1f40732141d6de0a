#include "CliProgram.h"

int main(int argc, char** argv) {
    return quirel::cli::Run(argc, argv, stdout, stderr);
}
