#include "gcPageCountHandler.h"

#include <iostream>

gcPageCountHandler::gcPageCountHandler() : iPageCount(0) {}

gcPageCountHandler::~gcPageCountHandler() {
  std::cerr << "gcPageCountHandler:: " << std::dec << iPageCount
            << " pages are mapped." << std::endl;
}

bool gcPageCountHandler::handlePage(gcVMMPage* pPage) {
  if (pPage == nullptr) return false;
  ++iPageCount;
  return true;
}
