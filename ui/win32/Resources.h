#pragma once

// The identifiers of the program's resources (tarvo.rc).
#define IDI_TARVO 1
