#include "gcVMMPageHandler.h"

gcVMMPageHandler::~gcVMMPageHandler() = default;

bool gcVMMPageHandler::handlePage(gcVMMPage*) { return true; }

void gcVMMPageHandler::finish() {}
