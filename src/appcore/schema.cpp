#include "appcore/schema.h"

// The program's database object, then the table descriptors.
zarvoDatabase database(dbDatabase::dbAllAccess, 1048576, 4194304, 65536, 1);

#include "appcore/schema_tables.h"

