#pragma once
// tellmark-build --update DIR: downloads the newest FCC files (UFccDownload) and builds the
// edition in DIR again from its build record (UBuildRecord) with them, in the sibling folder
// "DIR.update", which then takes DIR's place in one rename (the old edition stays usable until
// then; a leftover sibling of a killed run is removed by the next one). A DIR without an edition
// gets a new FCC edition, built with the build options given beside --update.

// The builder's own entry: parses argv like the command line and builds.
using TBuildFunction = int (*)(int argc, char** argv);

int Update(int argc, char** argv, TBuildFunction build);
