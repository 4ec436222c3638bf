#pragma once
// tellmark-lookup --serve: the look-up service on the data set of the home directory.
#include <string>

// Serves until SIGINT or SIGTERM; SIGHUP reopens the edition. serve: "[ADDRESS:]PORT".
// Returns the exit status (2 for a bad address, a data set that does not open or a port that
// cannot be bound).
int ServeLookups(const std::string& serve);
