#pragma once
// tellmark-lookup --serve: the look-up service on the data set of the home directory.
#include <string>

#include "common/UStatus.h"

// Serves until SIGINT or SIGTERM; SIGHUP reopens the edition. serve: "[ADDRESS:]PORT". Fails
// for a bad address, a data set that does not open or a port that cannot be bound.
TStatus ServeLookups(const std::string& serve);
