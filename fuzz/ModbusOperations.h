#pragma once

#include "FuzzSupport.h"

class MbusMasterFunctions;

// One master operation the input picks, of every function code the master has (3, 4, 5, 16, 20, 43 in all
// their forms), with arguments from the input; checks what it hands back. Returns the result code.
int RunMasterOperation(MbusMasterFunctions& master, FuzzInput& in);
