#include "qz_cli.h"

int main(int argc, char **argv) { return qz::cli::run(argc, argv); }
