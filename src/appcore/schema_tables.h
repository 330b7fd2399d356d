// Defines the table descriptors of the program's ten record classes. Their
// order here is the order in which they are built, and the order of their rows
// in the database's table of tables: keep it. Include this in exactly one
// source file of a program (the program's is schema.cpp; a test that uses the
// data model without the application core includes it instead).
#pragma once

#include "appcore/schema.h"

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

// The layouts in which earlier releases stored these tables, which the start
// converts to the layouts above: one DB_FORMER_LAYOUT(Table, EarlierClass) a
// line, EarlierClass describing the old layout with DB_FIELDS. There are
// none: every release has stored each table in its layout above (the data
// upgrades at start-up, up to Config.version 18, change stored values, never
// a layout). A stored layout that is neither one above nor one of these (nor
// a later release's, one above with fields added) is damage, and the start
// treats the file as unreadable.
