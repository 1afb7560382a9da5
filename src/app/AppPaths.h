#pragma once
// Where the window keeps its files: the one rule all three commands share
// (runtime/ProgramFolder.h), so the window, ovatrix-cli and ovatrix-records agree on the
// program folder, the settings file, the record folder and the browser data.

#include "runtime/ProgramFolder.h"
