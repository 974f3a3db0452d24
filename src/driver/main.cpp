#include "driver/run.h"

int main(int argc, char** argv) { return hush::run(argc, argv); }
