#include "app/driver.h"

int main(int argc, char** argv) {
  return pv::RunConversion(argc, argv);
}
