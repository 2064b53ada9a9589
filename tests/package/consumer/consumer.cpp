// A program of a library user: builds a block, saves it, loads it back.
#include <iostream>
#include <memory>
#include <sstream>

#include "bcode/bcode.h"
#include "bcode/version.h"

int main() {
  bcInitBCode();
  BCode block(7, KR_FB_KENN);
  block.initElemTypes();
  block.getConstList().add(new BCDIntConst(-100000));
  std::ostringstream saved;
  block.save(saved);
  std::istringstream in(saved.str());
  std::unique_ptr<BCode> loaded(BCode::iload(in));
  if (!loaded || loaded->getConstList().getCount() != 2) {
    std::cerr << "the block did not load back\n";
    return 1;
  }
  std::cout << "libbcode " << BCODE_VERSION_STRING << ": " << saved.str().size()
            << " bytes saved and loaded back\n";
  return 0;
}
