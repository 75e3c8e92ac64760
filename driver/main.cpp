#include "driver/run.h"

int main() { return driver::run(); }
