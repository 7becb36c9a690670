// Every program and test main calls this first: descriptors 0, 1 and 2 are
// opened on /dev/null where they are closed, so that no port handle is ever 0
// (the link treats a handle of 0 or less as "no port").
#pragma once

void EnsureStdDescriptors();
