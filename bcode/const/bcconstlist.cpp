#include "bcode/const/bcconstlist.h"

#include <istream>

BCConstantList::BCConstantList() {
  setOwner(1);
}

BCConstantList::~BCConstantList() = default;

BCConstantList* BCConstantList::iload(std::istream& is) {
  return loadTable<BCConstantList>(is, [](std::istream& in, BCConstant*& entry) {
    entry = BCConstant::iload(in, nullptr);
    return BCConstant::getError() == BCConstant::BCCONSTANT_OK;
  });
}
