// Defines the table descriptors of the program's ten record classes, in the
// program's order, for an engine test that queries the data model. Include it
// in exactly one source file of a test.
#pragma once

#include "app/schema.h"

DB_TABLE(Config);
DB_TABLE(Customer);
DB_TABLE(EnvelopeSetup);
DB_TABLE(Category);
DB_TABLE(ChequeSetup);
DB_TABLE(ReceiptSetup);
DB_TABLE(MailSetup);
DB_TABLE(CustomerWidth);
DB_TABLE(Cheque);
DB_TABLE(Mail);
