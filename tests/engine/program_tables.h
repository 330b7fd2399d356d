// The table descriptors of the program's ten record classes, for an engine
// test that queries the data model without linking the application core.
// Include it in exactly one source file of a test.
#pragma once

#include "appcore/schema_tables.h"
